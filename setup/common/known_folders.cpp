#include "common/known_folders.h"

namespace tf {

std::wstring KnownFolderPath(REFKNOWNFOLDERID folderId) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(folderId, 0, nullptr, &path)) && path != nullptr) result = path;
  CoTaskMemFree(path);
  return result;
}

}  // namespace tf
