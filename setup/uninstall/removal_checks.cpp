#include "uninstall/removal_checks.h"

#include <windows.h>

#include "common/folder_walk.h"
#include "common/install_folder.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf {

namespace {

bool IsKeptSaves(const WalkEntry& entry, bool keepSaves) {
  return keepSaves && entry.isFolder && SameNameNoCase(entry.name, kSavesFolderName);
}

bool IsInUse(const std::wstring& path) {
  UniqueFile probe(CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (probe) return false;
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

std::wstring FirstFileInUse(const std::wstring& folder, bool keepSaves, const std::wstring& runningProgram) {
  const std::wstring running = FullPathName(runningProgram);
  std::wstring inUse;
  WalkFolder(folder, [&](const WalkEntry& entry) {
    if (IsKeptSaves(entry, keepSaves)) return WalkAction::SkipFolder;
    if (entry.isFolder || entry.isLink) return WalkAction::Continue;
    const std::wstring path(entry.path);
    if (SameNameNoCase(path, running) || !IsInUse(path)) return WalkAction::Continue;
    inUse = path;
    return WalkAction::Stop;
  });
  return inUse;
}

std::wstring FirstLeftover(const std::wstring& folder, bool keepSaves, const std::vector<std::wstring>& keepAtTop) {
  if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  std::vector<std::wstring> folders, saves;
  std::wstring left;
  const WalkResult walk = WalkFolder(folder, [&](const WalkEntry& entry) {
    if (IsKeptSaves(entry, keepSaves)) {
      saves.emplace_back(entry.relative);
      return WalkAction::SkipFolder;
    }
    if (entry.isFolder) {
      folders.emplace_back(entry.relative);
      return WalkAction::Continue;
    }
    if (entry.depth == 1 && !entry.isLink && ContainsName(keepAtTop, entry.name)) return WalkAction::Continue;
    left = entry.path;
    return WalkAction::Stop;
  });
  if (!left.empty()) return left;
  if (walk.end != WalkEnd::Done) return walk.path;
  // A folder stays only on the way to a kept save folder.
  for (const std::wstring& relative : folders) {
    bool onTheWay = false;
    for (const std::wstring& save : saves) onTheWay = onTheWay || IsBelow(save, relative);
    if (!onTheWay) return folder + L"\\" + relative;
  }
  return {};
}

}  // namespace tf
