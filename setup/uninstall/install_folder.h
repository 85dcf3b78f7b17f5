#pragma once
// Recognising an install folder by the two files every install leaves in it.
#include <string>

namespace tf {

// True when the path has at least 4 characters and both "tf_hybrid.dll" and
// "default.xbe" exist in it (any kind of file-system object counts). The path
// is expected without a trailing backslash.
bool IsInstallFolder(const std::wstring& folder);

}  // namespace tf
