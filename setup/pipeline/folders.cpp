#include "pipeline/folders.h"

#include <windows.h>

namespace tf {

bool CreateFolderChain(const std::wstring& path) {
  if (path.size() < 3) return true;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != L'\\') continue;
    std::wstring prefix = path.substr(0, i);
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
        GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES)
      return false;
  }
  return true;
}

}  // namespace tf
