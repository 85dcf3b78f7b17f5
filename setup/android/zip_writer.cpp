#include "android/zip_writer.h"

#include <algorithm>

#include "android/crc32.h"
#include "common/bytes.h"
#include "common/win32_file.h"

namespace tf::android {

namespace {

bool Seek(HANDLE file, uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

// Writes one block at a time on a thread of its own, so that the write of a
// pack chunk runs while the same chunk goes through the CRC-32 and SHA-256
// (both only read it). A write the thread has not begun when Finish is called
// (no core was free for it) is done by the caller instead. Without a thread
// every write is done in Finish.
class ChunkWriter {
 public:
  explicit ChunkWriter(HANDLE file) : file_(file) {
    InitializeSRWLock(&lock_);
    InitializeConditionVariable(&changed_);
    thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
  }
  ~ChunkWriter() {
    if (!thread_) return;
    AcquireSRWLockExclusive(&lock_);
    quit_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
    WaitForSingleObject(thread_.Get(), INFINITE);
  }
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;

  // Hands over `size` bytes to write; they must stay as they are until Finish.
  void Begin(const void* data, DWORD size) {
    AcquireSRWLockExclusive(&lock_);
    data_ = data;
    size_ = size;
    state_ = State::Pending;
    ReleaseSRWLockExclusive(&lock_);
    if (thread_) WakeAllConditionVariable(&changed_);
  }
  // The write Begin handed over, done; true when every byte was written.
  bool Finish() {
    AcquireSRWLockExclusive(&lock_);
    if (state_ == State::Pending) {
      state_ = State::Idle;
      ReleaseSRWLockExclusive(&lock_);
      return WriteAll(file_, data_, size_);
    }
    while (state_ == State::Writing) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    state_ = State::Idle;
    const bool ok = ok_;
    ReleaseSRWLockExclusive(&lock_);
    return ok;
  }

 private:
  enum class State { Idle, Pending, Writing, Written };

  static DWORD WINAPI Run(void* self) {
    static_cast<ChunkWriter*>(self)->Loop();
    return 0;
  }
  void Loop() {
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
      while (state_ != State::Pending && !quit_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
      if (state_ != State::Pending) break;
      state_ = State::Writing;
      ReleaseSRWLockExclusive(&lock_);
      const bool ok = WriteAll(file_, data_, size_);
      AcquireSRWLockExclusive(&lock_);
      ok_ = ok;
      state_ = State::Written;
      WakeAllConditionVariable(&changed_);
    }
    ReleaseSRWLockExclusive(&lock_);
  }

  HANDLE file_;
  SRWLOCK lock_;
  CONDITION_VARIABLE changed_;
  const void* data_ = nullptr;
  DWORD size_ = 0;
  State state_ = State::Idle;
  bool ok_ = false, quit_ = false;
  UniqueKernelHandle thread_;  // last: the thread is stopped before the rest goes
};

}  // namespace

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
  if (!file_ || !WriteAll(file_.Get(), data, count)) return false;
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
  uint8_t bytes[4];
  PutU32(bytes, crc);
  // The way back is checked too: a pointer left inside the pack would overwrite it.
  return Seek(file_.Get(), localHeaderOffset + zip::local::kCrc) && WriteAll(file_.Get(), bytes, sizeof(bytes)) &&
         Seek(file_.Get(), position_);
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
  ChunkWriter writer(file_.Get());
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
      if (!ReadFully(source.Get(), buffer.data(), n)) {
        errorText = kMsgGameFileShort;
        return false;
      }
      writer.Begin(buffer.data(), n);
      crc = Crc32Update(crc, buffer.data(), n);
      const bool hashed = hash.Update(buffer.data(), n);
      const bool written = writer.Finish();
      if (!hashed) {
        errorText = kMsgHashFailed;
        return false;
      }
      if (!written) {
        errorText = kMsgWriteFailed;
        return false;
      }
      position_ += n;
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
