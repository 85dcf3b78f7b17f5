#include "android/zip_writer.h"

#include <algorithm>

#include "android/crc32.h"
#include "common/bytes.h"
#include "common/win32_file.h"

namespace tf::android {

bool ZipWriter::Create(const std::wstring& path) {
  file_.Reset();
  position_ = 0;
  centralRecords_.clear();
  if (IsReadOnlyFile(path)) return false;
  file_.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.Valid();
}

bool ZipWriter::WriteBytes(const void* data, uint64_t count) {
  if (!file_ || !WriteAll(file_.Get(), data, count, calls_)) return false;
  position_ += count;
  return true;
}

bool ZipWriter::AddStoredEntry(const std::string& name, const void* data, uint64_t count, std::string& errorText) {
  if (!ZipHasRoom(position_, name.size(), count, centralRecords_.size(), errorText)) return false;
  CentralRecord record{name, Crc32(data, static_cast<size_t>(count)), count, position_};
  std::vector<uint8_t> header;
  AppendLocalHeader(header, name, record.crc, count);
  if (!WriteBytes(header.data(), header.size()) || !WriteBytes(data, count)) {
    errorText = kMsgWriteFailed;
    return false;
  }
  centralRecords_.push_back(std::move(record));
  return true;
}

bool ZipWriter::PatchCrc(uint64_t localHeaderOffset, uint32_t crc) {
  Record<4> field{};
  PutRecordU32<0>(field, crc);
  // The way back is checked too: a pointer left inside the pack would overwrite it.
  return SeekTo(file_.Get(), localHeaderOffset + zip::local::kCrc) &&
         WriteAll(file_.Get(), field.data(), field.size(), calls_) && SeekTo(file_.Get(), position_);
}

bool ZipWriter::WritePakEntry(const std::vector<GameFile>& files, const std::vector<uint8_t>& index,
                              uint64_t pakLength, ProgressCallback callback, void* context, Sha256Digest& digest,
                              std::string& errorText) {
  if (!ZipHasRoom(position_, sizeof(kPakEntryName) - 1, pakLength, centralRecords_.size(), errorText)) return false;
  const uint64_t localHeaderOffset = position_;
  std::vector<uint8_t> header;
  AppendLocalHeader(header, kPakEntryName, 0, pakLength);
  if (!WriteBytes(header.data(), header.size())) {
    errorText = kMsgWriteFailed;
    return false;
  }
  Sha256Hash hash;
  if (!hash.Open()) {
    errorText = kMsgHashFailed;
    return false;
  }
  uint32_t crc = Crc32Update(kCrc32Start, index.data(), index.size());
  if (!hash.Update(index.data(), index.size())) {
    errorText = kMsgHashFailed;
    return false;
  }
  if (!WriteBytes(index.data(), index.size())) {
    errorText = kMsgWriteFailed;
    return false;
  }

  uint64_t total = 0;
  for (const GameFile& f : files) total += f.size;
  std::vector<uint8_t> buffer(kPakBufferBytes);
  uint64_t done = 0;
  for (const GameFile& f : files) {
    UniqueFile source(CreateFileW(f.sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source) {
      errorText = kMsgGameFileUnreadable;
      return false;
    }
    for (uint64_t remaining = f.size; remaining > 0;) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(remaining, kPakBufferBytes));
      if (!ReadFully(source.Get(), buffer.data(), n, calls_)) {
        errorText = kMsgGameFileShort;
        return false;
      }
      crc = Crc32Update(crc, buffer.data(), n);
      if (!hash.Update(buffer.data(), n)) {
        errorText = kMsgHashFailed;
        return false;
      }
      if (!WriteBytes(buffer.data(), n)) {
        errorText = kMsgWriteFailed;
        return false;
      }
      remaining -= n;
      done += n;
    }
    source.Reset();
    if (callback != nullptr && !callback(context, kPackingStatus, done, total)) {
      errorText = kMsgCancelled;
      return false;
    }
  }

  crc = Crc32Finish(crc);
  const uint64_t dataStart = localHeaderOffset + header.size();
  if (position_ - dataStart != pakLength || !PatchCrc(localHeaderOffset, crc)) {
    errorText = kMsgWriteFailed;
    return false;
  }
  centralRecords_.push_back({kPakEntryName, crc, pakLength, localHeaderOffset});
  if (!hash.Finish(digest)) {
    errorText = kMsgHashFailed;
    return false;
  }
  return true;
}

bool ZipWriter::Finish(std::string& errorText) {
  std::vector<uint8_t> directory;
  if (!BuildCentralDirectory(centralRecords_, position_, directory, errorText)) return false;
  if (!WriteBytes(directory.data(), directory.size())) {
    errorText = kMsgWriteFailed;
    return false;
  }
  return true;
}

}  // namespace tf::android
