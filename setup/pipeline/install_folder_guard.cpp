#include "pipeline/install_folder_guard.h"

#include <windows.h>

#include <string_view>

#include "android/android_app.h"
#include "common/ascii.h"
#include "common/install_folder.h"
#include "common/install_names.h"
#include "common/text.h"
#include "common/win32_handle.h"
#include "pipeline/game_selection.h"
#include "pipeline/runtime_payload.h"

namespace tf {

namespace {

// A name that an install writes, extracts, keeps or removes at the top of its folder.
bool IsInstallName(std::wstring_view name) {
  for (std::wstring_view own : {kGameExecutableName, kSettingsFileName, kUninstallerName,
                                android::kAndroidFolderName, kSavesFolderName})
    if (SameNameNoCase(name, own)) return true;
  for (std::string_view folder : kGameFolders)
    if (EqualsNoCaseAscii(name, folder)) return true;
  for (const PayloadFile& file : PayloadTable())
    if (SameNameNoCase(name, file.fileName)) return true;
  for (const wchar_t* leftover : kLeftoverNames)
    if (SameNameNoCase(name, leftover)) return true;
  return false;
}

bool HoldsOnlyInstallNames(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return true;  // missing (created next) or not listable (its creation or writing fails)
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (!IsInstallName(name)) return false;
  } while (FindNextFileW(search.Get(), &found));
  return true;
}

}  // namespace

bool CheckInstallFolder(const std::wstring& folder, std::wstring& message) {
  if (IsDriveRoot(folder)) {
    message = kDriveRootMessage;
    return false;
  }
  if (IsInstallFolder(folder) || HoldsOnlyInstallNames(folder)) return true;
  message = kOtherFilesMessage;
  return false;
}

}  // namespace tf
