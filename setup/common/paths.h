#pragma once
// The parts of a backslash-joined path.
#include <string_view>

namespace tf {

// The text after the last backslash, or the whole path.
inline std::wstring_view FileNameOf(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

// The text before the last backslash ("" when there is none).
inline std::wstring_view ParentFolderOf(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring_view::npos ? std::wstring_view() : path.substr(0, slash);
}

}  // namespace tf
