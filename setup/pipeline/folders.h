#pragma once
#include <string>

namespace tf {

// Creates a folder and every missing parent, trying each prefix from the
// shortest (a drive root is passed over). False when a prefix neither could be
// created nor exists.
bool CreateFolderChain(const std::wstring& path);

}  // namespace tf
