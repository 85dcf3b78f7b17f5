#pragma once
// What makes a folder an install folder: the two files every install leaves
// in it. A drive's or a network share's top folder never is one.
#include <string>

#include "common/game_edition.h"

namespace tf {

// The top folder of a drive or a network share, however written: "C:", "C:\",
// "C:\\", "\\server\share", "\\?\C:\", "\\?\UNC\server\share\", and any path
// that leads to one ("C:\Games\..").
bool IsDriveRoot(const std::wstring& folder);

// True when the path has at least 4 characters, is no drive root and both
// kRuntimeLibraryName and kGameExecutableName exist in it (any kind of
// file-system object counts). The path is expected without a trailing backslash.
bool IsInstallFolder(const std::wstring& folder);

}  // namespace tf
