#include "common/win32_file.h"

#include <algorithm>
#include <new>

namespace tf {

namespace detail {
ReadFileFn fileRead = ::ReadFile;
WriteFileFn fileWrite = ::WriteFile;
}  // namespace detail

namespace {
DWORD ChunkOf(uint64_t remaining) { return static_cast<DWORD>(std::min<uint64_t>(remaining, kFileChunkBytes)); }
}  // namespace

bool ReadFully(HANDLE file, void* buffer, uint64_t length) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    DWORD got = 0;
    if (!detail::fileRead(file, p, ChunkOf(length), &got, nullptr) || got == 0) return false;
    p += got;
    length -= got;
  }
  return true;
}

bool WriteAll(HANDLE file, const void* data, uint64_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const DWORD chunk = ChunkOf(length);
    DWORD wrote = 0;
    if (!detail::fileWrite(file, p, chunk, &wrote, nullptr) || wrote != chunk) return false;
    p += chunk;
    length -= chunk;
  }
  return true;
}

bool IsReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueFile CreateForWriting(const std::wstring& path) {
  if (IsReadOnlyFile(path)) return UniqueFile();
  return UniqueFile(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void CloseUnfinished(UniqueFile& file, const std::wstring& path, OnFailure onFailure) {
  file.Reset();
  if (onFailure == OnFailure::DeletePartial) DeleteFileW(path.c_str());
}

FileWrite WriteWholeFile(const std::wstring& path, std::span<const uint8_t> bytes, OnFailure onFailure) {
  UniqueFile file = CreateForWriting(path);
  if (!file) return FileWrite::CannotCreate;
  if (WriteAll(file.Get(), bytes.data(), bytes.size())) return FileWrite::Ok;
  CloseUnfinished(file, path, onFailure);
  return FileWrite::WriteFailed;
}

FileRead ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, uint64_t maxBytes) {
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
  if (!ReadFully(file.Get(), out.data(), out.size())) {
    out.clear();
    return FileRead::ReadFailed;
  }
  return FileRead::Ok;
}

bool MoveOver(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
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

}  // namespace tf
