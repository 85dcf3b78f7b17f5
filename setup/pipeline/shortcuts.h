#pragma once
// Shell links, and the install step that makes an installation usable: the
// uninstaller copy and the shortcuts the user asked for.
#include <string>

namespace tf {

// Writes a shell link to `target` (replacing a link of the same name) with the
// working folder, the description "Tarnfell" and, unless `iconPath` is empty,
// that file's first icon. True when the link file was saved.
bool CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& workingFolder,
                    const std::wstring& iconPath);

// installFolder + "\uninstall.exe", installFolder as typed.
std::wstring UninstallerPath(const std::wstring& installFolder);

// The Start menu's programs folder of all users, else the account's own; empty
// when neither resolves.
std::wstring StartMenuProgramsFolder();

// Copies the running program to the uninstaller path (overwriting) and creates
// Tarnfell.lnk on the desktop and in the Start menu's programs folder as
// chosen. The folders are those of the account the program runs as. Nothing
// here fails an install: a copy or a link that cannot be made is passed over.
void CopyUninstallerAndCreateShortcuts(const std::wstring& installFolder, bool desktopShortcut,
                                       bool startMenuShortcut);

}  // namespace tf
