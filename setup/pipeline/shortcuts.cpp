#include "pipeline/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "common/com_ref.h"
#include "common/game_edition.h"
#include "common/known_folders.h"
#include "common/running_program.h"
#include "common/text.h"
#include "common/win32_file.h"

namespace tf {

bool CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingFolder,
                    const std::wstring& iconPath) {
  ComRef<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
    return false;
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingFolder.c_str());
  link->SetDescription(kGameTitle);
  if (!iconPath.empty()) link->SetIconLocation(iconPath.c_str(), 0);
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
  return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

std::wstring UninstallerPath(const std::wstring& installFolder) {
  return installFolder + L"\\" + kUninstallerName;
}

std::wstring StartMenuProgramsFolder() {
  for (const KNOWNFOLDERID* id : kShortcutFolders.startMenu) {
    std::wstring programs = KnownFolderPath(*id);
    if (!programs.empty()) return programs;
  }
  return {};
}

bool CopyUninstaller(const std::wstring& installFolder, DWORD& error) {
  const std::wstring program = RunningProgramPath();
  const std::wstring target = UninstallerPath(installFolder);
  if (program.empty()) {
    error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  if (SameNameNoCase(FullPathName(program), FullPathName(target))) return true;
  WholeFileReplacement copy(target);
  if (copy.BeginCopyOf(program) == INVALID_HANDLE_VALUE || copy.Commit() != FileWrite::Ok) {
    error = copy.Error();
    return false;
  }
  return true;
}

std::vector<std::wstring> CreateShortcuts(const std::wstring& installFolder, bool desktopShortcut,
                                          bool startMenuShortcut) {
  std::vector<std::wstring> failed;
  const std::wstring game = installFolder + L"\\" + kGameProgramName;
  auto create = [&](const std::wstring& folder) {
    if (folder.empty()) return;
    const std::wstring link = folder + L"\\" + kShortcutName;
    if (!CreateShortcut(link, game, installFolder, game)) failed.push_back(link);
  };
  if (desktopShortcut) create(KnownFolderPath(*kShortcutFolders.desktop));
  if (startMenuShortcut) create(StartMenuProgramsFolder());
  return failed;
}

}  // namespace tf
