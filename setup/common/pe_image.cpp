#include "common/pe_image.h"

#include <algorithm>
#include <cstdint>

#include "common/bytes.h"

namespace tf {

namespace {

constexpr uint32_t kNewHeaderAt = 0x3C;        // e_lfanew
constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
// From the signature: the file header's fields.
constexpr uint32_t kMachineAt = 4;
constexpr uint32_t kSectionCountAt = 6;
constexpr uint32_t kOptionalSizeAt = 20;
constexpr uint32_t kCharacteristicsAt = 22;
// A section table entry's fields.
constexpr uint32_t kNameSize = 8;
constexpr uint32_t kVirtualSizeAt = 8;
constexpr uint32_t kVirtualAddressAt = 12;
constexpr uint32_t kRawSizeAt = 16;
constexpr uint32_t kRawPointerAt = 20;
constexpr uint32_t kSectionCharacteristicsAt = 36;

// The optional header: its kind and, from its start, where its fields lie.
constexpr uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr uint32_t kPe32ImageBaseAt = 28, kPe32PlusImageBaseAt = 24;
constexpr uint32_t kPe32DirectoryCountAt = 92, kPe32PlusDirectoryCountAt = 108;
constexpr uint32_t kDirectorySize = 8;
constexpr uint32_t kImportDirectory = 1, kDelayImportDirectory = 13;
// An import descriptor: five u32 fields, the DLL's name the fourth.
constexpr uint32_t kImportDescriptorSize = 20, kImportNameAt = 12;
// A delay-load descriptor: eight u32 fields; bit 0 of the first says that the
// others are RVAs (clear: virtual addresses, as old linkers wrote them).
constexpr uint32_t kDelayDescriptorSize = 32, kDelayNameAt = 4, kDelayRvaAttribute = 1;
// Bounds for what a walk believes: more than this is not an image's table.
constexpr uint32_t kMaxDescriptors = 4096, kMaxDllNameLength = 256;

struct DataDirectory {
  uint32_t rva = 0, size = 0;
};

struct OptionalHeader {
  uint64_t imageBase = 0;
  DataDirectory imports, delayImports;
};

bool ReadDirectory(const ByteReader& r, uint64_t directoriesAt, uint32_t count, uint32_t index, DataDirectory& d) {
  if (index >= count) return true;  // not there: empty
  const uint64_t at = directoriesAt + uint64_t{index} * kDirectorySize;
  return r.U32(at, d.rva) && r.U32(at + 4, d.size);
}

bool ReadOptionalHeader(const ByteReader& r, const PeHeaders& h, OptionalHeader& out) {
  const uint64_t at = h.optionalHeaderAt;
  uint16_t magic = 0;
  uint32_t count = 0, countAt = 0;
  if (!r.U16(at, magic)) return false;
  if (magic == kPe32Magic) {
    uint32_t base = 0;
    if (!r.U32(at + kPe32ImageBaseAt, base)) return false;
    out.imageBase = base;
    countAt = kPe32DirectoryCountAt;
  } else if (magic == kPe32PlusMagic) {
    if (!r.U64(at + kPe32PlusImageBaseAt, out.imageBase)) return false;
    countAt = kPe32PlusDirectoryCountAt;
  } else {
    return false;
  }
  const uint64_t directoriesAt = at + countAt + 4;
  // The directories the header says it has must lie inside it.
  if (!r.U32(at + countAt, count) || count > 16 ||
      directoriesAt + uint64_t{count} * kDirectorySize > at + h.optionalHeaderSize)
    return false;
  return ReadDirectory(r, directoriesAt, count, kImportDirectory, out.imports) &&
         ReadDirectory(r, directoriesAt, count, kDelayImportDirectory, out.delayImports);
}

// The file bytes of the image range [rva, rva + size), checked.
bool ImageBytes(const ByteReader& r, const PeHeaders& h, uint64_t rva, uint32_t size, std::span<const uint8_t>& out) {
  uint64_t offset = 0;
  return rva <= UINT32_MAX && FileOffsetOfRva(h, static_cast<uint32_t>(rva), size, offset) && r.Sub(offset, size, out);
}

// A NUL-terminated DLL name at `rva`: 1 to kMaxDllNameLength printable ASCII characters.
bool ReadDllName(const ByteReader& r, const PeHeaders& h, uint64_t rva, std::string& name) {
  name.clear();
  for (uint32_t i = 0; i <= kMaxDllNameLength; ++i) {
    std::span<const uint8_t> c;
    if (!ImageBytes(r, h, rva + i, 1, c)) return false;
    if (c[0] == 0) return !name.empty();
    if (c[0] < 0x20 || c[0] > 0x7E) return false;
    name.push_back(static_cast<char>(c[0]));
  }
  return false;
}

// The names of a descriptor table at `rva`, up to its all-zero descriptor.
// `nameOf` gives a descriptor's name RVA, false for one it cannot place.
template <typename NameOf>
bool ReadDescriptorNames(const ByteReader& r, const PeHeaders& h, uint32_t rva, uint32_t descriptorSize, NameOf nameOf,
                         std::vector<std::string>& names) {
  if (rva == 0) return true;  // no table
  for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
    std::span<const uint8_t> d;
    if (!ImageBytes(r, h, uint64_t{rva} + uint64_t{i} * descriptorSize, descriptorSize, d)) return false;
    if (std::all_of(d.begin(), d.end(), [](uint8_t b) { return b == 0; })) return true;
    uint64_t nameRva = 0;
    std::string name;
    if (!nameOf(ByteReader(d), nameRva) || !ReadDllName(r, h, nameRva, name)) return false;
    names.push_back(std::move(name));
  }
  return false;
}

bool ReadSection(const ByteReader& r, uint64_t at, PeSection& s) {
  std::span<const uint8_t> name;
  if (!r.Sub(at, kNameSize, name) || !r.U32(at + kVirtualSizeAt, s.virtualSize) ||
      !r.U32(at + kVirtualAddressAt, s.virtualAddress) || !r.U32(at + kRawSizeAt, s.rawSize) ||
      !r.U32(at + kRawPointerAt, s.rawPointer) || !r.U32(at + kSectionCharacteristicsAt, s.characteristics))
    return false;
  s.name.assign(name.begin(), std::find(name.begin(), name.end(), uint8_t{0}));
  return true;
}

}  // namespace

bool ReadPeHeaders(std::span<const uint8_t> bytes, PeHeaders& out) {
  const ByteReader r(bytes);
  PeHeaders h;
  uint16_t dos = 0, count = 0;
  uint32_t signature = 0;
  if (!r.U16(0, dos) || dos != kDosSignature || !r.U32(kNewHeaderAt, h.signatureAt) ||
      !r.U32(h.signatureAt, signature) || signature != kPeSignature)
    return false;
  const uint64_t pe = h.signatureAt;
  if (!r.U16(pe + kMachineAt, h.machine) || !r.U16(pe + kSectionCountAt, count) ||
      !r.U16(pe + kOptionalSizeAt, h.optionalHeaderSize) || !r.U16(pe + kCharacteristicsAt, h.characteristics))
    return false;
  h.optionalHeaderAt = pe + kPeFileHeaderEnd;
  h.sectionTableAt = h.optionalHeaderAt + h.optionalHeaderSize;
  if (!r.Has(h.sectionTableAt, uint64_t{count} * kPeSectionSize)) return false;
  h.sections.resize(count);
  for (uint16_t i = 0; i < count; ++i)
    if (!ReadSection(r, h.sectionTableAt + uint64_t{i} * kPeSectionSize, h.sections[i])) return false;
  out = std::move(h);
  return true;
}

bool FileOffsetOfRva(const PeHeaders& headers, uint32_t rva, uint32_t size, uint64_t& fileOffset) {
  for (const PeSection& s : headers.sections) {
    if (rva < s.virtualAddress || rva - s.virtualAddress >= std::max(s.virtualSize, s.rawSize)) continue;
    // Past the raw data (or past the section's size in memory) the image holds
    // zero fill, not bytes of the file.
    const uint32_t fromFile = s.virtualSize == 0 ? s.rawSize : std::min(s.virtualSize, s.rawSize);
    if (s.rawPointer == 0 || uint64_t{rva - s.virtualAddress} + size > fromFile) return false;
    fileOffset = uint64_t{s.rawPointer} + (rva - s.virtualAddress);
    return true;
  }
  return false;
}

bool FileOffsetOfRva(std::span<const uint8_t> headers, uint32_t rva, uint32_t size, uint64_t& fileOffset) {
  PeHeaders h;
  return ReadPeHeaders(headers, h) && FileOffsetOfRva(h, rva, size, fileOffset);
}

bool ReadPeImports(std::span<const uint8_t> bytes, PeImports& out) {
  const ByteReader r(bytes);
  PeHeaders h;
  OptionalHeader o;
  if (!ReadPeHeaders(bytes, h) || !ReadOptionalHeader(r, h, o)) return false;
  PeImports found;
  auto importName = [](const ByteReader& d, uint64_t& nameRva) {
    uint32_t v = 0;
    if (!d.U32(kImportNameAt, v)) return false;
    nameRva = v;
    return true;
  };
  auto delayName = [&o](const ByteReader& d, uint64_t& nameRva) {
    uint32_t attributes = 0, v = 0;
    if (!d.U32(0, attributes) || !d.U32(kDelayNameAt, v)) return false;
    if (attributes & kDelayRvaAttribute) {
      nameRva = v;
      return true;
    }
    if (v < o.imageBase) return false;
    nameRva = v - o.imageBase;
    return true;
  };
  if (!ReadDescriptorNames(r, h, o.imports.rva, kImportDescriptorSize, importName, found.dlls) ||
      !ReadDescriptorNames(r, h, o.delayImports.rva, kDelayDescriptorSize, delayName, found.delayLoadedDlls))
    return false;
  out = std::move(found);
  return true;
}

bool SameSections(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  PeHeaders ha, hb;
  if (!ReadPeHeaders(a, ha) || !ReadPeHeaders(b, hb) || ha.sections.size() != hb.sections.size()) return false;
  const ByteReader ra(a), rb(b);
  const uint64_t tableBytes = uint64_t{ha.sections.size()} * kPeSectionSize;
  std::span<const uint8_t> fileA, fileB, sectionsA, sectionsB;
  if (!ra.Sub(ha.signatureAt, kPeFileHeaderEnd, fileA) || !rb.Sub(hb.signatureAt, kPeFileHeaderEnd, fileB) ||
      !ra.Sub(ha.sectionTableAt, tableBytes, sectionsA) || !rb.Sub(hb.sectionTableAt, tableBytes, sectionsB))
    return false;
  return std::equal(fileA.begin(), fileA.end(), fileB.begin(), fileB.end()) &&
         std::equal(sectionsA.begin(), sectionsA.end(), sectionsB.begin(), sectionsB.end());
}

}  // namespace tf
