#include "pipeline/image_sections.h"

#include <algorithm>

#include "common/bytes.h"

namespace tf {

namespace {

constexpr uint32_t kNewHeaderAt = 0x3C;         // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr uint32_t kSectionCountAt = 6;         // from the signature: FileHeader.NumberOfSections
constexpr uint32_t kOptionalSizeAt = 20;        // FileHeader.SizeOfOptionalHeader
constexpr uint32_t kOptionalHeaderAt = 24;
constexpr uint32_t kSectionBytes = 40;
constexpr uint32_t kVirtualSizeAt = 8;
constexpr uint32_t kVirtualAddressAt = 12;
constexpr uint32_t kRawSizeAt = 16;
constexpr uint32_t kRawPointerAt = 20;

bool FindTable(const ByteReader& r, uint64_t& tableAt, uint16_t& count) {
  uint16_t mz = 0, optionalSize = 0;
  uint32_t peAt = 0, signature = 0;
  if (!r.U16(0, mz) || mz != 0x5A4D || !r.U32(kNewHeaderAt, peAt) || !r.U32(peAt, signature) ||
      signature != kPeSignature || !r.U16(uint64_t{peAt} + kSectionCountAt, count) ||
      !r.U16(uint64_t{peAt} + kOptionalSizeAt, optionalSize))
    return false;
  tableAt = uint64_t{peAt} + kOptionalHeaderAt + optionalSize;
  return r.Has(tableAt, uint64_t{count} * kSectionBytes);
}

}  // namespace

bool FileOffsetOfRva(std::span<const uint8_t> headers, uint32_t rva, uint32_t size, uint64_t& fileOffset) {
  const ByteReader r(headers);
  uint64_t tableAt = 0;
  uint16_t count = 0;
  if (!FindTable(r, tableAt, count)) return false;
  for (uint16_t i = 0; i < count; ++i) {
    const uint64_t at = tableAt + uint64_t{i} * kSectionBytes;
    uint32_t virtualSize = 0, address = 0, rawSize = 0, rawPointer = 0;
    if (!r.U32(at + kVirtualSizeAt, virtualSize) || !r.U32(at + kVirtualAddressAt, address) ||
        !r.U32(at + kRawSizeAt, rawSize) || !r.U32(at + kRawPointerAt, rawPointer))
      return false;
    if (rva < address || rva - address >= std::max(virtualSize, rawSize)) continue;
    // Past the raw data (or past the section's size in memory) the image holds
    // zero fill, not bytes of the file.
    const uint32_t fromFile = virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
    if (rawPointer == 0 || uint64_t{rva - address} + size > fromFile) return false;
    fileOffset = uint64_t{rawPointer} + (rva - address);
    return true;
  }
  return false;
}

bool SameSections(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  const ByteReader ra(a), rb(b);
  uint64_t tableA = 0, tableB = 0;
  uint16_t countA = 0, countB = 0;
  uint32_t peA = 0, peB = 0;
  if (!FindTable(ra, tableA, countA) || !FindTable(rb, tableB, countB) || countA != countB) return false;
  (void)ra.U32(kNewHeaderAt, peA);  // read by FindTable already
  (void)rb.U32(kNewHeaderAt, peB);
  std::span<const uint8_t> fileA, fileB, sectionsA, sectionsB;
  const uint64_t tableBytes = uint64_t{countA} * kSectionBytes;
  if (!ra.Sub(peA, kOptionalHeaderAt, fileA) || !rb.Sub(peB, kOptionalHeaderAt, fileB) ||
      !ra.Sub(tableA, tableBytes, sectionsA) || !rb.Sub(tableB, tableBytes, sectionsB))
    return false;
  return std::equal(fileA.begin(), fileA.end(), fileB.begin(), fileB.end()) &&
         std::equal(sectionsA.begin(), sectionsA.end(), sectionsB.begin(), sectionsB.end());
}

}  // namespace tf
