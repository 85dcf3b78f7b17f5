#include "pe_resources.h"

#include <algorithm>

#include "common/bytes.h"

namespace tf::test {
namespace {

// The optional header's kinds; from its start, the directory count and the table after it.
constexpr uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr uint32_t kPe32DirectoryCountAt = 92, kPe32PlusDirectoryCountAt = 108;
constexpr uint32_t kMaxDirectories = 16;
// A resource table: a 16-byte header whose last two u16 count its named and
// its id entries, then 8-byte entries, the named ones first.
constexpr uint32_t kTableHeaderSize = 16, kNamedCountAt = 12, kIdCountAt = 14, kEntrySize = 8;
constexpr uint32_t kSubtableBit = 0x80000000u;

}  // namespace

bool ReadDataDirectories(std::span<const uint8_t> image, const PeHeaders& headers, std::vector<PeRange>& out) {
  const ByteReader r(image);
  const uint64_t at = headers.optionalHeaderAt;
  uint16_t magic = 0;
  uint32_t count = 0;
  if (!r.U16(at, magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) return false;
  const uint64_t countAt = at + (magic == kPe32Magic ? kPe32DirectoryCountAt : kPe32PlusDirectoryCountAt);
  if (!r.U32(countAt, count) || count > kMaxDirectories ||
      countAt + 4 + uint64_t{count} * kEntrySize > at + headers.optionalHeaderSize)
    return false;
  std::vector<PeRange> found(count);
  for (uint32_t i = 0; i < count; ++i)
    if (!r.U32(countAt + 4 + i * kEntrySize, found[i].rva) || !r.U32(countAt + 8 + i * kEntrySize, found[i].size))
      return false;
  out = std::move(found);
  return true;
}

bool FindResourceDirectory(std::span<const uint8_t> image, uint64_t& fileOffset, uint32_t& size) {
  PeHeaders headers;
  std::vector<PeRange> directories;
  if (!ReadPeHeaders(image, headers) || !ReadDataDirectories(image, headers, directories) ||
      directories.size() <= kResourceDirectory || directories[kResourceDirectory].rva == 0)
    return false;
  const PeRange& d = directories[kResourceDirectory];
  if (!FileOffsetOfRva(headers, d.rva, d.size, fileOffset) || !ByteReader(image).Has(fileOffset, d.size)) return false;
  size = d.size;
  return true;
}

bool FindResourceEntry(std::span<const uint8_t> directory, uint32_t table, std::optional<uint32_t> id,
                       ResourceEntry& out) {
  const ByteReader r(directory);
  uint16_t named = 0, ids = 0;
  if (!r.U16(uint64_t{table} + kNamedCountAt, named) || !r.U16(uint64_t{table} + kIdCountAt, ids)) return false;
  for (uint32_t i = 0; i < uint32_t{named} + ids; ++i) {
    const uint64_t at = uint64_t{table} + kTableHeaderSize + uint64_t{i} * kEntrySize;
    uint32_t name = 0, value = 0;
    if (!r.U32(at, name) || !r.U32(at + 4, value)) return false;
    if (!id || name == *id) {  // a named entry has the top bit set: never an integer id
      out = {static_cast<uint32_t>(at), value};
      return true;
    }
  }
  return false;
}

bool FindResourceData(std::span<const uint8_t> image, uint32_t type, uint32_t id, PeRange& out) {
  uint64_t base = 0;
  uint32_t size = 0;
  if (!FindResourceDirectory(image, base, size)) return false;
  const std::span<const uint8_t> directory = image.subspan(base, size);
  ResourceEntry typeEntry, idEntry, language;
  if (!FindResourceEntry(directory, 0, type, typeEntry) || !(typeEntry.value & kSubtableBit) ||
      !FindResourceEntry(directory, typeEntry.value & ~kSubtableBit, id, idEntry) || !(idEntry.value & kSubtableBit) ||
      !FindResourceEntry(directory, idEntry.value & ~kSubtableBit, std::nullopt, language) ||
      (language.value & kSubtableBit))
    return false;
  const ByteReader r(directory);
  return r.U32(language.value, out.rva) && r.U32(uint64_t{language.value} + 4, out.size);
}

bool CutResourceEntry(std::vector<uint8_t>& image, uint16_t type, uint16_t id) {
  uint64_t base = 0;
  uint32_t size = 0;
  if (!FindResourceDirectory(image, base, size)) return false;
  const std::span<uint8_t> directory(image.data() + base, size);
  ResourceEntry typeEntry, idEntry;
  if (!FindResourceEntry(directory, 0, type, typeEntry) || !(typeEntry.value & kSubtableBit)) return false;
  const uint32_t table = typeEntry.value & ~kSubtableBit;
  uint16_t named = 0, ids = 0;
  const ByteReader r(directory);
  if (!FindResourceEntry(directory, table, id, idEntry) || !r.U16(uint64_t{table} + kNamedCountAt, named) ||
      !r.U16(uint64_t{table} + kIdCountAt, ids))
    return false;
  // The entries after it move up one place; the last place is cleared.
  const uint64_t end = uint64_t{table} + kTableHeaderSize + (uint64_t{named} + ids) * kEntrySize;
  if (end > directory.size()) return false;
  std::copy(directory.begin() + idEntry.at + kEntrySize, directory.begin() + end, directory.begin() + idEntry.at);
  std::fill(directory.begin() + end - kEntrySize, directory.begin() + end, 0);
  return ByteWriter(directory).U16(uint64_t{table} + kIdCountAt, static_cast<uint16_t>(ids - 1));
}

}  // namespace tf::test
