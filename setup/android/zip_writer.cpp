#include "android/zip_writer.h"

#include <algorithm>

#include "android/crc32.h"
#include "common/background_job.h"
#include "common/bytes.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf::android {

// The pack's CRC-32 and SHA-256, fed its bytes in the order they are written.
class PakSums {
 public:
  [[nodiscard]] bool Open() { return hash_.Open(); }
  [[nodiscard]] bool Add(const uint8_t* data, size_t count) {
    AddToCrc(data, count);
    return AddToHash(data, count);
  }
  // The two halves of Add, for two threads (never the same half on both).
  void AddToCrc(const uint8_t* data, size_t count) { crc_ = Crc32Update(crc_, data, count); }
  [[nodiscard]] bool AddToHash(const uint8_t* data, size_t count) { return hash_.Update(data, count); }
  uint32_t Crc() const { return Crc32Finish(crc_); }
  [[nodiscard]] bool Finish(Sha256Digest& digest) { return hash_.Finish(digest); }

 private:
  uint32_t crc_ = kCrc32Start;
  Sha256Hash hash_;
};

namespace {

// What runs beside the hashing of one chunk of the pack: its CRC and its
// write, then, once the write went through, the read of the file's next chunk
// into the other buffer. The building thread only hashes meanwhile, and
// touches neither file.
struct ChunkWork {
  HANDLE package;
  const FileCalls* calls;
  PakSums* sums;
  HANDLE source = INVALID_HANDLE_VALUE;
  const uint8_t* chunk = nullptr;
  uint32_t size = 0;
  uint8_t* next = nullptr;
  uint32_t nextSize = 0;
  bool written = false, readNext = false;

  static void Run(void* self) {
    auto* w = static_cast<ChunkWork*>(self);
    w->sums->AddToCrc(w->chunk, w->size);
    w->written = WriteAll(w->package, w->chunk, w->size, *w->calls);
    w->readNext = w->written && (w->nextSize == 0 || ReadFully(w->source, w->next, w->nextSize, *w->calls));
  }
};

uint32_t ChunkOf(uint64_t remaining) { return static_cast<uint32_t>(std::min<uint64_t>(remaining, kPakBufferBytes)); }

}  // namespace

bool ZipWriter::WriteBytes(const void* data, uint64_t count) {
  if (file_ == INVALID_HANDLE_VALUE || !WriteAll(file_, data, count, calls_)) return false;
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
  return SeekTo(file_, localHeaderOffset + zip::local::kCrc) && WriteAll(file_, field.data(), field.size(), calls_) &&
         SeekTo(file_, position_);
}

bool ZipWriter::WritePakEntry(const std::vector<GameFile>& files, const std::vector<uint8_t>& index,
                              uint64_t pakLength, ProgressCallback callback, void* context, Sha256Digest& digest,
                              std::string& errorText) {
  if (!ZipHasRoom(position_, sizeof(kPakEntryName) - 1, pakLength, centralRecords_.size(), errorText)) return false;
  const uint64_t localHeaderOffset = position_;
  std::vector<uint8_t> header;
  AppendLocalHeader(header, kPakEntryName, 0, pakLength);  // the CRC is patched in at the end
  if (!WriteBytes(header.data(), header.size())) {
    errorText = kMsgWriteFailed;
    return false;
  }
  PakSums sums;
  if (!sums.Open()) {
    errorText = kMsgHashFailed;
    return false;
  }
  return WritePakBytes(index.data(), index.size(), sums, errorText) &&
         WriteGameFiles(files, callback, context, sums, errorText) &&
         EndPakEntry(localHeaderOffset, pakLength, sums, digest, errorText);
}

bool ZipWriter::WritePakBytes(const uint8_t* data, size_t count, PakSums& sums, std::string& errorText) {
  if (!sums.Add(data, count)) {
    errorText = kMsgHashFailed;
    return false;
  }
  if (!WriteBytes(data, count)) {
    errorText = kMsgWriteFailed;
    return false;
  }
  return true;
}

bool ZipWriter::WriteGameFiles(const std::vector<GameFile>& files, ProgressCallback callback, void* context,
                               PakSums& sums, std::string& errorText) {
  uint64_t total = 0;
  for (const GameFile& f : files) total += f.size;
  std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(kPakBufferBytes), std::vector<uint8_t>(kPakBufferBytes)};
  BackgroundJob job;  // every job is ended before WriteGameFile returns: the buffers and handles outlive it
  uint64_t done = 0;
  for (const GameFile& f : files) {
    if (!WriteGameFile(f, buffers, job, sums, errorText)) return false;
    done += f.size;
    if (callback != nullptr && !callback(context, kPackingStatus, done, total)) {
      errorText = kMsgCancelled;
      return false;
    }
  }
  return true;
}

bool ZipWriter::WriteGameFile(const GameFile& file, std::vector<uint8_t> (&buffers)[2], BackgroundJob& job,
                              PakSums& sums, std::string& errorText) {
  UniqueFile source(CreateFileW(file.sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source) {
    errorText = kMsgGameFileUnreadable;
    return false;
  }
  // The listed size only: bytes the file gained since are not packed. The
  // first chunk is read here, after the report on the file before it.
  uint64_t remaining = file.size;
  uint32_t n = ChunkOf(remaining);
  if (n > 0 && !ReadFully(source.Get(), buffers[0].data(), n, calls_)) {
    errorText = kMsgGameFileShort;
    return false;
  }
  ChunkWork work{file_, &calls_, &sums, source.Get()};
  for (int current = 0; n > 0; current ^= 1) {
    remaining -= n;
    work.chunk = buffers[current].data();
    work.size = n;
    work.next = buffers[current ^ 1].data();
    work.nextSize = ChunkOf(remaining);
    job.Begin(ChunkWork::Run, &work);
    const bool hashed = sums.AddToHash(work.chunk, n);
    job.End();
    if (!hashed || !work.written || !work.readNext) {
      errorText = !hashed ? kMsgHashFailed : !work.written ? kMsgWriteFailed : kMsgGameFileShort;
      return false;
    }
    position_ += n;
    n = work.nextSize;
  }
  return true;
}

bool ZipWriter::EndPakEntry(uint64_t localHeaderOffset, uint64_t pakLength, PakSums& sums, Sha256Digest& digest,
                            std::string& errorText) {
  const uint32_t crc = sums.Crc();
  const uint64_t dataStart = localHeaderOffset + zip::kLocalHeaderSize + sizeof(kPakEntryName) - 1;
  if (position_ - dataStart != pakLength || !PatchCrc(localHeaderOffset, crc)) {
    errorText = kMsgWriteFailed;
    return false;
  }
  centralRecords_.push_back({kPakEntryName, crc, pakLength, localHeaderOffset});
  if (!sums.Finish(digest)) {
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
