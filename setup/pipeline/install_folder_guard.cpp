#include "pipeline/install_folder_guard.h"

#include <windows.h>

#include <set>

#include "common/file_outcome.h"
#include "common/game_edition.h"
#include "common/install_folder.h"
#include "common/text.h"

namespace tf {

namespace {

using NameSet = std::set<std::wstring, NoCaseLess>;

// The folders on the way to each file.
NameSet FoldersOf(const std::vector<std::wstring>& files) {
  NameSet folders;
  for (const std::wstring& file : files)
    for (size_t at = file.find(L'\\'); at != std::wstring::npos; at = file.find(L'\\', at + 1))
      folders.insert(file.substr(0, at));
  return folders;
}

// Stops at the first entry that is not the install's.
WalkResult WalkForOtherFiles(const std::wstring& folder, const std::vector<std::wstring>& installFiles,
                             const FolderListing& listing) {
  const NameSet files(installFiles.begin(), installFiles.end());
  const NameSet folders = FoldersOf(installFiles);
  std::wstring saves;
  WalkOptions options;
  options.checkFiles = true;
  options.listing = listing;
  return WalkFolder(
      folder,
      [&](const WalkEntry& entry) {
        if (entry.isLink) return WalkAction::Stop;
        if (IsBelow(entry.relative, saves)) return WalkAction::Continue;
        if (entry.isFolder) {
          if (SameNameNoCase(entry.name, kSavesFolderName)) {
            saves = entry.relative;
            return WalkAction::Continue;
          }
          return folders.count(entry.relative) ? WalkAction::Continue : WalkAction::Stop;
        }
        return files.count(entry.relative) ? WalkAction::Continue : WalkAction::Stop;
      },
      options);
}

}  // namespace

std::vector<std::wstring> InstallFilePaths(const GameSelection& selection) {
  std::vector<std::wstring> paths;
  for (const XdvdfsEntry* entry : selection.entries) paths.push_back(Widen(entry->path, CP_ACP));
  for (const wchar_t* leftover : kLeftoverNames) paths.push_back(leftover);
  // Written whole (common/win32_file.h): under a temporary name first, which
  // an interrupted install may leave. The arena containers are extracted too.
  const std::wstring android = std::wstring(kAndroidFolderName) + L"\\";
  std::vector<std::wstring> whole = {kSettingsFileName, kUninstallerName, android + kPackageFileName,
                                     android + kAndroidReadmeName};
  for (const PayloadFile& file : kPayloadFiles) whole.push_back(file.fileName);
  for (const std::wstring& file : whole) paths.push_back(file);
  for (const ArenaRow& arena : ArenaTable) whole.push_back(ArenaPath(arena));
  for (const std::wstring& file : whole) paths.push_back(TemporaryPathFor(file));
  return paths;
}

bool CheckInstallFolder(const std::wstring& folder, const std::vector<std::wstring>& installFiles,
                        std::wstring& message, const FolderListing& listing) {
  if (IsDriveRoot(folder)) {
    message = kDriveRootMessage;
    return false;
  }
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;  // made next
    message = kCannotReadMessage;
    return false;
  }
  // Not a folder: its creation fails next, with that step's message.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  if (IsInstallFolder(folder)) return true;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    message = kOtherFilesMessage;
    return false;
  }
  const WalkResult walk = WalkForOtherFiles(folder, installFiles, listing);
  switch (walk.end) {
    case WalkEnd::Done:
      return true;
    case WalkEnd::CannotList:
      message = kCannotReadMessage;
      return false;
    case WalkEnd::Stopped:
    case WalkEnd::TooDeep:
    case WalkEnd::TooMany:
      break;
  }
  message = kOtherFilesMessage;
  return false;
}

}  // namespace tf
