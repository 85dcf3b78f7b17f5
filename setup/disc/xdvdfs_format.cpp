#include "disc/xdvdfs_format.h"

#include <cstring>

#include "common/ascii.h"
#include "common/bytes.h"

namespace tf {

namespace {

// The volume descriptor (one sector): the magic at both ends, the root table
// and the timestamp between them.
constexpr uint32_t kDescriptorRootSectorAt = 20;
constexpr uint32_t kDescriptorRootSizeAt = 24;
constexpr uint32_t kDescriptorTimestampAt = 28;
constexpr uint32_t kDescriptorTrailingMagicAt = kSectorSize - static_cast<uint32_t>(kVolumeMagicSize);  // 2028

// A directory entry: its header, then the name; entries are 4-byte aligned
// and never cross a sector; a sector's unused end is 0xFF padding.
constexpr uint32_t kEntryHeaderSize = 14;
constexpr uint32_t kEntrySectorAt = 4;
constexpr uint32_t kEntrySizeAt = 8;
constexpr uint32_t kEntryAttributesAt = 12;
constexpr uint32_t kEntryNameLengthAt = 13;
constexpr uint32_t kEntryAlignment = 4;
constexpr uint32_t kPaddingMarker = 0xFFFFFFFFu;
constexpr uint8_t kFolderAttribute = 0x10;

struct PendingFolder {
  uint32_t firstSector;
  uint32_t size;
  std::string path;
};

bool IsReservedDeviceName(std::string_view name) {
  // The part before the first dot decides ("NUL.txt" is the NUL device too).
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::string_view kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view r : kPlain)
    if (EqualsNoCaseAscii(stem, r)) return true;
  if (stem.size() != 4 || !(EqualsNoCaseAscii(stem.substr(0, 3), "COM") || EqualsNoCaseAscii(stem.substr(0, 3), "LPT")))
    return false;
  // COM0 to COM9, and COM with the superscripts one, two and three (B9, B2, B3
  // in the ANSI code page); the same for LPT.
  const auto digit = static_cast<unsigned char>(stem[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

bool IsSafeName(std::string_view name) {
  if (name.empty()) return false;
  bool onlyDotsAndBlanks = true;
  for (char c : name) {
    if (c == '\\' || c == '/' || c == ':' || c == '\0') return false;
    if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
  }
  if (onlyDotsAndBlanks) return false;
  return !IsReservedDeviceName(name);
}

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty()) return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!IsSafeName(part)) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool ParseVolumeDescriptor(std::span<const uint8_t> sector, uint64_t base, XdvdfsVolume& volume) {
  const ByteReader r(sector);
  std::span<const uint8_t> leading, trailing;
  if (r.Size() < kSectorSize || !r.Sub(0, kVolumeMagicSize, leading) ||
      !r.Sub(kDescriptorTrailingMagicAt, kVolumeMagicSize, trailing))
    return false;
  if (std::memcmp(leading.data(), kVolumeMagic, kVolumeMagicSize) != 0) return false;
  if (std::memcmp(trailing.data(), kVolumeMagic, kVolumeMagicSize) != 0) return false;
  XdvdfsVolume v;
  v.base = base;
  if (!r.U32(kDescriptorRootSectorAt, v.rootSector) || !r.U32(kDescriptorRootSizeAt, v.rootSize) ||
      !r.U64(kDescriptorTimestampAt, v.timestamp))
    return false;
  volume = v;
  return true;
}

VolumeSearch FindAndScanVolume(ImageReader& reader, uint64_t imageSize, XdvdfsVolume& volume,
                               std::vector<XdvdfsEntry>& entries, std::string& errorText) {
  std::vector<uint8_t> sector(kSectorSize);
  for (uint64_t base : kVolumeBases) {
    if (base + kDescriptorOffset + kSectorSize > imageSize) continue;
    if (!reader.ReadAt(base + kDescriptorOffset, sector.data(), kSectorSize)) continue;
    XdvdfsVolume found;
    if (!ParseVolumeDescriptor(sector, base, found)) continue;
    volume = found;
    entries.clear();
    uint64_t budget = kMaxTotalTableBytes;
    if (ScanDirectory(reader, base, found.rootSector, found.rootSize, std::string(), 0, entries, errorText, &budget))
      return VolumeSearch::Found;
    entries.clear();
    return VolumeSearch::Failed;
  }
  return VolumeSearch::NotFound;
}

bool ScanDirectory(ImageReader& reader, uint64_t base, uint32_t firstSector, uint32_t size,
                   const std::string& parentPath, int depth, std::vector<XdvdfsEntry>& entries,
                   std::string& errorText, uint64_t* tableBudget) {
  if (depth > kMaxDepth) return true;
  if (size == 0) return true;
  if (size > kMaxTableSize || (tableBudget && size > *tableBudget)) {
    errorText = kMsgCorruptTable;
    return false;
  }
  if (tableBudget) *tableBudget -= size;
  std::vector<uint8_t> table(size, 0);
  if (!reader.ReadAt(base + static_cast<uint64_t>(firstSector) * kSectorSize, table.data(), size)) {
    errorText = kMsgTruncated;
    return false;
  }
  ByteReader r(table);
  std::vector<PendingFolder> folders;
  uint64_t pos = 0;
  while (pos + kEntryHeaderSize <= size) {
    uint32_t marker = 0;
    uint8_t nameLength = 0;
    bool padding = r.U32(pos, marker) && marker == kPaddingMarker;
    if (!r.U8(pos + kEntryNameLengthAt, nameLength)) break;
    if (padding || nameLength == 0 || pos + kEntryHeaderSize + nameLength > size) {
      pos = (pos & ~static_cast<uint64_t>(kSectorSize - 1)) + kSectorSize;
      continue;
    }
    uint32_t sectorOfData = 0, dataSize = 0;
    uint8_t attributes = 0;
    std::span<const uint8_t> nameBytes;
    if (!r.U32(pos + kEntrySectorAt, sectorOfData) || !r.U32(pos + kEntrySizeAt, dataSize) ||
        !r.U8(pos + kEntryAttributesAt, attributes) || !r.Sub(pos + kEntryHeaderSize, nameLength, nameBytes))
      break;
    std::string name(reinterpret_cast<const char*>(nameBytes.data()), nameBytes.size());
    if (!IsSafeName(name) || entries.size() >= kMaxEntries) {
      errorText = kMsgCorruptTable;
      return false;
    }
    XdvdfsEntry e;
    e.path = parentPath.empty() ? name : parentPath + "\\" + name;
    e.offset = base + static_cast<uint64_t>(sectorOfData) * kSectorSize;
    e.size = dataSize;
    e.isDirectory = (attributes & kFolderAttribute) != 0;
    if (e.isDirectory) folders.push_back({sectorOfData, dataSize, e.path});
    entries.push_back(std::move(e));
    pos += (uint64_t{kEntryHeaderSize} + nameLength + kEntryAlignment - 1) & ~uint64_t{kEntryAlignment - 1};
  }
  for (const PendingFolder& f : folders)
    if (!ScanDirectory(reader, base, f.firstSector, f.size, f.path, depth + 1, entries, errorText, tableBudget))
      return false;
  return true;
}

}  // namespace tf
