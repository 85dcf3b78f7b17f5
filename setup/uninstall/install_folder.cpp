#include "uninstall/install_folder.h"

#include <windows.h>

namespace tf {

namespace {
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

bool IsInstallFolder(const std::wstring& folder) {
  if (folder.size() < 4) return false;
  if (!Exists(folder + L"\\tf_hybrid.dll")) return false;
  return Exists(folder + L"\\default.xbe");
}

}  // namespace tf
