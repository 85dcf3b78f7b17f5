#include "android/zip_records.h"

#include "common/bytes.h"

namespace tf::android {

using namespace zip;

namespace {

uint8_t* Grow(std::vector<uint8_t>& out, size_t n) {
  size_t at = out.size();
  out.resize(at + n);
  return out.data() + at;
}

}  // namespace

bool ZipHasRoom(uint64_t position, uint64_t nameLength, uint64_t size, uint64_t entryCount,
                std::string& errorText) {
  // Each term is checked before the sum, so the sum cannot wrap.
  bool fits = entryCount < kMaxEntries && nameLength <= kMaxNameLength && size <= kMaxField32 &&
              position <= kMaxField32 && position + kLocalHeaderSize + nameLength + size <= kMaxField32;
  if (!fits) errorText = kMsgPackageTooLarge;
  return fits;
}

void AppendLocalHeader(std::vector<uint8_t>& out, std::string_view name, uint32_t crc, uint64_t size) {
  uint8_t* p = Grow(out, kLocalHeaderSize);
  PutU32(p + local::kSignature, kLocalSignature);
  PutU16(p + local::kVersionNeeded, kVersion);
  PutU16(p + local::kFlags, 0);
  PutU16(p + local::kMethod, kMethodStored);
  PutU16(p + local::kTime, 0);
  PutU16(p + local::kDate, 0);
  PutU32(p + local::kCrc, crc);
  PutU32(p + local::kCompressedSize, static_cast<uint32_t>(size));
  PutU32(p + local::kUncompressedSize, static_cast<uint32_t>(size));
  PutU16(p + local::kNameLength, static_cast<uint16_t>(name.size()));
  PutU16(p + local::kExtraLength, 0);
  out.insert(out.end(), name.begin(), name.end());
}

void AppendCentralHeader(std::vector<uint8_t>& out, const CentralRecord& record) {
  uint8_t* p = Grow(out, kCentralHeaderSize);
  PutU32(p + central::kSignature, kCentralSignature);
  PutU16(p + central::kVersionMadeBy, kVersion);
  PutU16(p + central::kVersionNeeded, kVersion);
  PutU16(p + central::kFlags, 0);
  PutU16(p + central::kMethod, kMethodStored);
  PutU16(p + central::kTime, 0);
  PutU16(p + central::kDate, 0);
  PutU32(p + central::kCrc, record.crc);
  PutU32(p + central::kCompressedSize, static_cast<uint32_t>(record.size));
  PutU32(p + central::kUncompressedSize, static_cast<uint32_t>(record.size));
  PutU16(p + central::kNameLength, static_cast<uint16_t>(record.name.size()));
  PutU16(p + central::kExtraLength, 0);
  PutU16(p + central::kCommentLength, 0);
  PutU16(p + central::kDiskStart, 0);
  PutU16(p + central::kInternalAttributes, 0);
  PutU32(p + central::kExternalAttributes, 0);
  PutU32(p + central::kLocalHeaderOffset, static_cast<uint32_t>(record.localHeaderOffset));
  out.insert(out.end(), record.name.begin(), record.name.end());
}

void AppendEndRecord(std::vector<uint8_t>& out, uint64_t entryCount, uint64_t directorySize,
                     uint64_t directoryOffset) {
  uint8_t* p = Grow(out, kEndRecordSize);
  PutU32(p + end::kSignature, kEndSignature);
  PutU16(p + end::kDisk, 0);
  PutU16(p + end::kDirectoryDisk, 0);
  PutU16(p + end::kDiskEntries, static_cast<uint16_t>(entryCount));
  PutU16(p + end::kTotalEntries, static_cast<uint16_t>(entryCount));
  PutU32(p + end::kDirectorySize, static_cast<uint32_t>(directorySize));
  PutU32(p + end::kDirectoryOffset, static_cast<uint32_t>(directoryOffset));
  PutU16(p + end::kCommentLength, 0);
}

bool BuildCentralDirectory(const std::vector<CentralRecord>& records, uint64_t directoryOffset,
                           std::vector<uint8_t>& out, std::string& errorText) {
  if (records.size() > kMaxEntries || directoryOffset > kMaxField32) {
    errorText = kMsgPackageTooLarge;
    return false;
  }
  uint64_t directorySize = 0;
  for (const CentralRecord& r : records) {
    if (r.name.size() > kMaxNameLength || r.size > kMaxField32 || r.localHeaderOffset > kMaxField32) {
      errorText = kMsgPackageTooLarge;
      return false;
    }
    directorySize += kCentralHeaderSize + r.name.size();  // at most 0xFFFE * 65,581 bytes: no wrap
  }
  // The end record's own position (offset + size) must fit as well.
  if (directorySize > kMaxField32 - directoryOffset) {
    errorText = kMsgPackageTooLarge;
    return false;
  }
  out.clear();
  out.reserve(static_cast<size_t>(directorySize) + kEndRecordSize);
  for (const CentralRecord& r : records) AppendCentralHeader(out, r);
  AppendEndRecord(out, records.size(), directorySize, directoryOffset);
  return true;
}

}  // namespace tf::android
