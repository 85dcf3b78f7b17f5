#pragma once
// Windows known folders (desktop, programs, program files, local app data).
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace tf {

// The folder's path, or an empty string when it cannot be resolved (callers
// take empty as "not available"; never a partial path).
std::wstring KnownFolderPath(REFKNOWNFOLDERID folderId);

}  // namespace tf
