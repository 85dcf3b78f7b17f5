#include "common/install_folder.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "common/text.h"
#include "common/win32_file.h"

namespace tf {

namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && SameNameNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsRootText(std::wstring path) {
  if (path.empty()) return false;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) {
    path.erase(0, 4);
    if (StartsWith(path, L"UNC\\")) {
      path.replace(0, 3, L"\\");  // "\\server\share..."
    } else {
      while (!path.empty() && path.back() == L'\\') path.pop_back();
      return path.find(L'\\') == std::wstring::npos;  // "C:", "Volume{...}"
    }
  }
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  if (path.empty()) return true;  // "\": the current drive's top folder
  if (path.size() == 2 && path[1] == L':') return true;
  if (!StartsWith(path, L"\\\\")) return false;
  return std::count(path.begin() + 2, path.end(), L'\\') <= 1;  // "\\server", "\\server\share"
}

}  // namespace

bool IsDriveRoot(const std::wstring& folder) { return IsRootText(folder) || IsRootText(FullPathName(folder)); }

bool IsInstallFolder(const std::wstring& folder) {
  if (folder.size() < 4 || IsDriveRoot(folder)) return false;
  if (!Exists(folder + L"\\" + kRuntimeLibraryName)) return false;
  return Exists(folder + L"\\" + kGameExecutableName);
}

}  // namespace tf
