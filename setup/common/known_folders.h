#pragma once
// Windows known folders (desktop, programs, program files, local app data).
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace tf {

// Where the install puts its shortcuts and the uninstaller removes them: the
// desktop, and the Start menu's programs folder of all users or, where that
// does not resolve, the account's own.
struct ShortcutFolderIds {
  const KNOWNFOLDERID* desktop;
  const KNOWNFOLDERID* startMenu[2];  // in the order they are tried
};
inline const ShortcutFolderIds kShortcutFolders = {&FOLDERID_Desktop, {&FOLDERID_CommonPrograms, &FOLDERID_Programs}};

// The folder's path, or an empty string when it cannot be resolved (callers
// take empty as "not available"; never a partial path).
std::wstring KnownFolderPath(REFKNOWNFOLDERID folderId);

}  // namespace tf
