#pragma once
// Shell links, and the install step that makes an installation usable: the
// uninstaller copy and the shortcuts the user asked for.
#include <windows.h>

#include <string>
#include <vector>

namespace tf {

// Writes a shell link to `target` (replacing a link of the same name) with the
// working folder, the description "Tarnfell" and, unless `iconPath` is empty,
// that file's first icon. True when the link file was saved.
bool CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingFolder,
                    const std::wstring& iconPath);

// installFolder + "\uninstall.exe".
std::wstring UninstallerPath(const std::wstring& installFolder);

// The Start menu's programs folder of all users, else the account's own; empty
// when neither resolves.
std::wstring StartMenuProgramsFolder();

// Puts a copy of the running program at the uninstaller path, written whole
// (common/win32_file.h; nothing to do when the program already is that file).
// False with the failing call's error code.
bool CopyUninstaller(const std::wstring& installFolder, DWORD& error);

// Creates Tarnfell.lnk on the desktop and in the Start menu's programs folder
// as chosen (the folders of the account the program runs as); the link paths
// that could not be saved.
std::vector<std::wstring> CreateShortcuts(const std::wstring& installFolder, bool desktopShortcut,
                                          bool startMenuShortcut);

}  // namespace tf
