#include "android/zip_records.h"

#include "common/bytes.h"

namespace tf::android {

using namespace zip;

namespace {

// The fields that both file headers hold, at the offsets of `Fields`.
template <typename Fields, size_t N>
void PutEntryFields(Record<N>& header, uint32_t crc, uint64_t size, size_t nameLength) {
  PutRecordU16<Fields::kVersionNeeded>(header, kVersion);
  PutRecordU16<Fields::kMethod>(header, kMethodStored);
  PutRecordU32<Fields::kCrc>(header, crc);
  PutRecordU32<Fields::kCompressedSize>(header, static_cast<uint32_t>(size));
  PutRecordU32<Fields::kUncompressedSize>(header, static_cast<uint32_t>(size));
  PutRecordU16<Fields::kNameLength>(header, static_cast<uint16_t>(nameLength));
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

// Fields not written stay 0: flags, time, date, the extra and comment lengths,
// disks and attributes.
void AppendLocalHeader(std::vector<uint8_t>& out, std::string_view name, uint32_t crc, uint64_t size) {
  Record<kLocalHeaderSize> header{};
  PutRecordU32<local::kSignature>(header, kLocalSignature);
  PutEntryFields<local>(header, crc, size, name.size());
  AppendRecord(out, header, name);
}

void AppendCentralHeader(std::vector<uint8_t>& out, const CentralRecord& record) {
  Record<kCentralHeaderSize> header{};
  PutRecordU32<central::kSignature>(header, kCentralSignature);
  PutRecordU16<central::kVersionMadeBy>(header, kVersion);
  PutEntryFields<central>(header, record.crc, record.size, record.name.size());
  PutRecordU32<central::kLocalHeaderOffset>(header, static_cast<uint32_t>(record.localHeaderOffset));
  AppendRecord(out, header, record.name);
}

void AppendEndRecord(std::vector<uint8_t>& out, uint64_t entryCount, uint64_t directorySize,
                     uint64_t directoryOffset) {
  Record<kEndRecordSize> record{};
  PutRecordU32<end::kSignature>(record, kEndSignature);
  PutRecordU16<end::kDiskEntries>(record, static_cast<uint16_t>(entryCount));
  PutRecordU16<end::kTotalEntries>(record, static_cast<uint16_t>(entryCount));
  PutRecordU32<end::kDirectorySize>(record, static_cast<uint32_t>(directorySize));
  PutRecordU32<end::kDirectoryOffset>(record, static_cast<uint32_t>(directoryOffset));
  AppendRecord(out, record);
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
