#include "pipeline/folder_size.h"

#include <windows.h>

#include <set>
#include <utility>

#include "common/win32_handle.h"

namespace tf {

namespace {

// Deeper than any path the walk can name without the long-path prefix.
constexpr int kMaxDepth = 200;

using FolderIdentity = std::pair<DWORD, uint64_t>;  // volume serial, file index

bool IdentifyFolder(const std::wstring& folder, FolderIdentity& identity) {
  UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !GetFileInformationByHandle(handle.Get(), &info)) return false;
  identity = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return true;
}

uint64_t SizeKiB(const std::wstring& folder, FolderLinks links, std::set<FolderIdentity>& entered, int depth) {
  if (depth > kMaxDepth) return 0;
  FolderIdentity identity;
  if (IdentifyFolder(folder, identity) && !entered.insert(identity).second) return 0;

  WIN32_FIND_DATAW found;
  UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return 0;
  uint64_t bytes = 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && links == FolderLinks::Skip) continue;
      bytes += 1024 * SizeKiB(folder + L"\\" + name, links, entered, depth + 1);
    } else {
      bytes += (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    }
  } while (FindNextFileW(search.Get(), &found));
  return bytes / 1024;
}

}  // namespace

uint64_t FolderSizeKiB(const std::wstring& folder) { return FolderSizeKiB(folder, FolderLinks::Skip); }

uint64_t FolderSizeKiB(const std::wstring& folder, FolderLinks links) {
  std::set<FolderIdentity> entered;
  return SizeKiB(folder, links, entered, 0);
}

}  // namespace tf
