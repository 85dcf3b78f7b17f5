#pragma once
// What makes a folder an install folder: the two files every install leaves
// in it. A drive's or a network share's top folder never is one.
#include <string>

namespace tf {

inline constexpr wchar_t kRuntimeLibraryName[] = L"tf_hybrid.dll";  // written with the runtime payload
inline constexpr wchar_t kGameExecutableName[] = L"default.xbe";     // extracted from the disc
// The game's save folders, at any depth of the install folder.
inline constexpr wchar_t kSavesFolderName[] = L"_SAVES";

// The top folder of a drive or a network share, however written: "C:", "C:\",
// "C:\\", "\\server\share", "\\?\C:\", "\\?\UNC\server\share\", and any path
// that leads to one ("C:\Games\..").
bool IsDriveRoot(const std::wstring& folder);

// True when the path has at least 4 characters, is no drive root and both
// "tf_hybrid.dll" and "default.xbe" exist in it (any kind of file-system
// object counts). The path is expected without a trailing backslash.
bool IsInstallFolder(const std::wstring& folder);

}  // namespace tf
