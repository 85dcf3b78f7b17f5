#include "pipeline/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "common/com_ref.h"
#include "pipeline/install_names.h"
#include "pipeline/known_folders.h"

namespace tf {

namespace {

// The running program's full path, however long it is.
std::wstring RunningProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

}  // namespace

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
