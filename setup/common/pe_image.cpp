#include "common/pe_image.h"

#include <algorithm>

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
