#include "common/win32_file.h"

#include <algorithm>
#include <new>
#include <utility>

#include "common/text.h"

namespace tf {

namespace {
DWORD ChunkOf(uint64_t remaining) { return static_cast<DWORD>(std::min<uint64_t>(remaining, kFileChunkBytes)); }

// Chunks of one block in memory.
class MemoryChunks : public ChunkSource {
 public:
  explicit MemoryChunks(const void* data) : data_(static_cast<const uint8_t*>(data)) {}
  const uint8_t* Chunk(uint64_t at, DWORD) override { return data_ + at; }

 private:
  const uint8_t* data_;
};

// False (ERROR_ACCESS_DENIED) where a read-only file, which Windows would not
// replace, or a link, which is never written through, stands at `path`.
bool WritableAt(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (attributes != INVALID_FILE_ATTRIBUTES && (readOnly || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}
}  // namespace

bool ReadFully(HANDLE file, void* buffer, uint64_t length, const FileCalls& calls) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    DWORD got = 0;
    if (!calls.read(file, p, ChunkOf(length), &got, nullptr) || got == 0) return false;
    p += got;
    length -= got;
  }
  return true;
}

bool WriteAll(HANDLE file, uint64_t length, ChunkSource& source, const FileCalls& calls) {
  for (uint64_t at = 0; at < length;) {
    const DWORD chunk = ChunkOf(length - at);
    const uint8_t* bytes = source.Chunk(at, chunk);
    DWORD wrote = 0;
    if (!bytes || !calls.write(file, bytes, chunk, &wrote, nullptr) || wrote != chunk) return false;
    at += chunk;
  }
  return true;
}

bool WriteAll(HANDLE file, const void* data, uint64_t length, const FileCalls& calls) {
  MemoryChunks chunks(data);
  return WriteAll(file, length, chunks, calls);
}

bool SeekTo(HANDLE file, uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

bool IsReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueFile CreateForWriting(const std::wstring& path, DWORD access) {
  if (!WritableAt(path)) return UniqueFile();
  return UniqueFile(CreateFileW(path.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void CloseUnfinished(UniqueFile& file, const std::wstring& path) {
  file.Reset();
  DeleteFileW(path.c_str());
}

WholeFileReplacement::WholeFileReplacement(std::wstring target, const FileCalls& calls)
    : target_(std::move(target)), temporary_(TemporaryPathFor(target_)), calls_(calls) {}

WholeFileReplacement::~WholeFileReplacement() {
  file_.Reset();
  if (begun_ && !committed_) DeleteFileW(temporary_.c_str());
}

HANDLE WholeFileReplacement::Failed() {
  error_ = GetLastError();
  file_.Reset();
  return INVALID_HANDLE_VALUE;
}

HANDLE WholeFileReplacement::Begin(DWORD access) {
  file_ = CreateForWriting(temporary_, access);
  if (!file_) return Failed();  // nothing of ours to remove: another file may stand there
  begun_ = true;
  return file_.Get();
}

HANDLE WholeFileReplacement::BeginCopyOf(const std::wstring& source) {
  if (!WritableAt(temporary_)) return Failed();
  begun_ = true;  // a copy that stops halfway is ours to remove
  if (!CopyFileW(source.c_str(), temporary_.c_str(), FALSE) ||
      !SetFileAttributesW(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL))
    return Failed();
  file_.Reset(CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return file_ ? file_.Get() : Failed();
}

FileWrite WholeFileReplacement::Commit() {
  if (!file_ || !calls_.flush(file_.Get())) {
    Failed();
    return FileWrite::WriteFailed;
  }
  file_.Reset();
  if (!MoveOver(temporary_, target_, calls_)) {
    error_ = GetLastError();
    return FileWrite::NotReplaced;
  }
  committed_ = true;
  return FileWrite::Ok;
}

FileWrite ReplaceWholeFile(const std::wstring& target, uint64_t length, ChunkSource& source, uint32_t& error,
                           const FileCalls& calls) {
  if (IsReadOnlyFile(target)) {  // the move would refuse it: nothing is written
    error = ERROR_ACCESS_DENIED;
    return FileWrite::NotReplaced;
  }
  WholeFileReplacement replacement(target, calls);
  const HANDLE file = replacement.Begin();
  if (file == INVALID_HANDLE_VALUE) {
    error = replacement.Error();
    return FileWrite::CannotCreate;
  }
  if (!WriteAll(file, length, source, calls)) {
    error = GetLastError();
    return FileWrite::WriteFailed;
  }
  const FileWrite outcome = replacement.Commit();
  if (outcome != FileWrite::Ok) error = replacement.Error();
  return outcome;
}

FileWrite ReplaceWholeFile(const std::wstring& target, std::span<const uint8_t> bytes, uint32_t& error,
                           const FileCalls& calls) {
  MemoryChunks chunks(bytes.data());
  return ReplaceWholeFile(target, bytes.size(), chunks, error, calls);
}

FileRead ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, uint64_t maxBytes,
                       const FileCalls& calls) {
  out.clear();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return FileRead::CannotOpen;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > maxBytes)
    return FileRead::TooLarge;
  try {
    out.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return FileRead::TooLarge;
  }
  if (!ReadFully(file.Get(), out.data(), out.size(), calls)) {
    out.clear();
    return FileRead::ReadFailed;
  }
  return FileRead::Ok;
}

bool MoveOver(const std::wstring& from, const std::wstring& to, const FileCalls& calls) {
  if (IsReadOnlyFile(to)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return calls.move(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool CreateFolderChain(const std::wstring& path) {
  if (path.size() < 3) return true;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != L'\\') continue;
    const std::wstring prefix = path.substr(0, i);
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
        GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES)
      return false;
  }
  return true;
}

std::wstring FullPathName(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return {};
  full.resize(n);
  return full;
}

std::wstring FullFolderPath(const std::wstring& folder) {
  std::wstring full = FullPathName(folder);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

bool IsDirectlyIn(const std::wstring& path, const std::wstring& folder) {
  const std::wstring full = FullPathName(path);
  std::wstring target = FullFolderPath(folder);
  if (!target.empty() && target.back() == L'\\') target.pop_back();  // a drive's top folder
  const size_t slash = full.rfind(L'\\');
  return !target.empty() && slash != std::wstring::npos &&
         SameNameNoCase(std::wstring_view(full).substr(0, slash), target);
}

}  // namespace tf
