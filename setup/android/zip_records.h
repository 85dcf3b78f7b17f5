#pragma once
// Zip records of a package of stored entries: the local file header, the
// central-directory file header and the end record, with their field offsets
// (each record's in a struct of its own, so that code for the fields that both
// file headers hold is written once).
// No ZIP64: every offset, size and count has to fit its 32- or 16-bit field.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tf::android::zip {

inline constexpr uint16_t kVersion = 20;  // needed to extract, and made by (host byte 0)
inline constexpr uint16_t kMethodStored = 0;

// The fields that both file headers hold, from the signature to the extra
// field's length: the central header has them `Shift` bytes further on (after
// "version made by"), but for the signature.
template <size_t Shift>
struct EntryFields {
  static constexpr size_t kSignature = 0;
  static constexpr size_t kVersionNeeded = 4 + Shift;
  static constexpr size_t kFlags = 6 + Shift;
  static constexpr size_t kMethod = 8 + Shift;
  static constexpr size_t kTime = 10 + Shift;
  static constexpr size_t kDate = 12 + Shift;
  static constexpr size_t kCrc = 14 + Shift;
  static constexpr size_t kCompressedSize = 18 + Shift;
  static constexpr size_t kUncompressedSize = 22 + Shift;
  static constexpr size_t kNameLength = 26 + Shift;
  static constexpr size_t kExtraLength = 28 + Shift;
};

// Local file header: 30 bytes, then the name (no extra field is written).
inline constexpr uint32_t kLocalSignature = 0x04034B50;
inline constexpr size_t kLocalHeaderSize = 30;
struct local : EntryFields<0> {};

// Central-directory file header: 46 bytes, then name, extra field and comment.
inline constexpr uint32_t kCentralSignature = 0x02014B50;
inline constexpr size_t kCentralHeaderSize = 46;
struct central : EntryFields<2> {
  static constexpr size_t kVersionMadeBy = 4;
  static constexpr size_t kCommentLength = 32;
  static constexpr size_t kDiskStart = 34;
  static constexpr size_t kInternalAttributes = 36;
  static constexpr size_t kExternalAttributes = 38;
  static constexpr size_t kLocalHeaderOffset = 42;
};

// End-of-central-directory record: 22 bytes (no comment is written).
inline constexpr uint32_t kEndSignature = 0x06054B50;
inline constexpr size_t kEndRecordSize = 22;
struct end {
  static constexpr size_t kSignature = 0;
  static constexpr size_t kDisk = 4;
  static constexpr size_t kDirectoryDisk = 6;
  static constexpr size_t kDiskEntries = 8;
  static constexpr size_t kTotalEntries = 10;
  static constexpr size_t kDirectorySize = 12;
  static constexpr size_t kDirectoryOffset = 16;
  static constexpr size_t kCommentLength = 20;
};

// All-ones in a 32-bit offset or size, or in the 16-bit entry count, tells
// readers to look for ZIP64 records, so the largest usable values are one less.
inline constexpr uint64_t kMaxField32 = 0xFFFFFFFEull;
inline constexpr uint64_t kMaxEntries = 0xFFFE;
inline constexpr uint64_t kMaxNameLength = 0xFFFF;

inline constexpr char kMsgPackageTooLarge[] = "The Android package would be too large for a zip file.";

}  // namespace tf::android::zip

namespace tf::android {

// One finished entry, as the central directory lists it.
struct CentralRecord {
  std::string name;
  uint32_t crc = 0;
  uint64_t size = 0;  // stored: compressed and uncompressed sizes are equal
  uint64_t localHeaderOffset = 0;
};

// Whether an entry with a `nameLength`-byte name and `size` data bytes can
// still be added, its local header going at `position` after `entryCount`
// entries: its offset, its size, the position after it (where the next entry or
// the central directory starts) and the entry count must all fit their fields.
// The writer asks before each entry, the pack entry included, so an archive is
// refused before it is written rather than written with wrapped offsets.
[[nodiscard]] bool ZipHasRoom(uint64_t position, uint64_t nameLength, uint64_t size, uint64_t entryCount,
                              std::string& errorText);

// Appends the 30-byte local header of a stored entry and its name.
void AppendLocalHeader(std::vector<uint8_t>& out, std::string_view name, uint32_t crc, uint64_t size);
// Appends the 46-byte central header of a record and its name.
void AppendCentralHeader(std::vector<uint8_t>& out, const CentralRecord& record);
// Appends the 22-byte end record.
void AppendEndRecord(std::vector<uint8_t>& out, uint64_t entryCount, uint64_t directorySize,
                     uint64_t directoryOffset);

// The central headers of all records in order, then the end record, for a
// directory that starts at `directoryOffset`. False with zip::kMsgPackageTooLarge
// when a record, the count or the directory's own offset or end does not fit.
[[nodiscard]] bool BuildCentralDirectory(const std::vector<CentralRecord>& records, uint64_t directoryOffset,
                                         std::vector<uint8_t>& out, std::string& errorText);

}  // namespace tf::android
