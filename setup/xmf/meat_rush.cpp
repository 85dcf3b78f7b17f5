#include "xmf/meat_rush.h"

#include <algorithm>
#include <new>

#include "common/win32_handle.h"

namespace tf::xmf {
namespace {

constexpr DWORD kChunk = 0x100000;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TempWrite WriteTemp(const std::wstring& path, std::span<const uint8_t> bytes) { return WriteTempFile(path, bytes); }

bool Replace(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void Remove(const std::wstring& path) { DeleteFileW(path.c_str()); }

constexpr ArenaFileOps kWin32Files = {Exists, ReadWholeFile, WriteTemp, Replace, Remove};

}  // namespace

const ArenaFileOps& Win32ArenaFiles() { return kWin32Files; }

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, std::string& errorText) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    errorText = "cannot open file";
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) {
    errorText = "file is missing or too large";
    return false;
  }
  try {
    out.assign(static_cast<size_t>(size.QuadPart), 0);
  } catch (const std::bad_alloc&) {
    errorText = "file is missing or too large";
    return false;
  }
  size_t done = 0;
  while (done < out.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(kChunk, out.size() - done));
    DWORD got = 0;
    if (!ReadFile(file.Get(), out.data() + done, want, &got, nullptr) || got == 0) {
      errorText = "file could not be read";
      return false;
    }
    done += got;
  }
  return true;
}

bool WriteChunk(HANDLE file, const uint8_t* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

TempWrite WriteTempFile(const std::wstring& path, std::span<const uint8_t> bytes, ChunkWriter write) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return TempWrite::cannotCreate;
  for (size_t done = 0; done < bytes.size();) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(kChunk, bytes.size() - done));
    if (!write(file.Get(), bytes.data() + done, n)) return TempWrite::writeFailed;  // the handle closes here
    done += n;
  }
  return TempWrite::ok;
}

bool PatchArenaFile(const std::wstring& sourcePath, const char* sourceName, const std::wstring& targetPath,
                    const char* newName, bool allowDuplicate, std::string& errorText) {
  return PatchArenaFileWith(kWin32Files, sourcePath, sourceName, targetPath, newName, allowDuplicate, errorText);
}

MeatRushResult PrepareMeatRush(const std::wstring& installFolder) {
  return PrepareMeatRushWith(kWin32Files, installFolder);
}

}  // namespace tf::xmf
