#include "pipeline/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "common/com_ref.h"
#include "common/install_names.h"
#include "common/known_folders.h"
#include "common/running_program.h"

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
  std::wstring programs = KnownFolderPath(FOLDERID_CommonPrograms);
  return programs.empty() ? KnownFolderPath(FOLDERID_Programs) : programs;
}

void CopyUninstallerAndCreateShortcuts(const std::wstring& installFolder, bool desktopShortcut,
                                       bool startMenuShortcut) {
  std::wstring program = RunningProgramPath();
  if (!program.empty()) CopyFileW(program.c_str(), UninstallerPath(installFolder).c_str(), FALSE);

  const std::wstring game = installFolder + L"\\" + kGameProgramName;
  if (desktopShortcut) {
    std::wstring desktop = KnownFolderPath(FOLDERID_Desktop);
    if (!desktop.empty()) CreateShortcut(desktop + L"\\" + kShortcutName, game, installFolder, game);
  }
  if (startMenuShortcut) {
    std::wstring programs = StartMenuProgramsFolder();
    if (!programs.empty()) CreateShortcut(programs + L"\\" + kShortcutName, game, installFolder, game);
  }
}

}  // namespace tf
