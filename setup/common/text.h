#pragma once
// Conversions between the system ANSI code page, UTF-8 and UTF-16, and names
// compared as the file system compares them.
//
// Messages of the lower layers are narrow UTF-8 (host paths enter them with
// Narrow(path, CP_UTF8)); the pipeline makes the user's text of one with
// UserText. Disc names are in the ANSI code page as the disc gives them.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace tf {

inline std::wstring Widen(const std::string& s, UINT codePage) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

inline std::string Narrow(const std::wstring& s, UINT codePage = CP_UTF8) {
  if (s.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// A lower layer's narrow message as the user's text.
inline std::wstring UserText(const std::string& message) { return Widen(message, CP_UTF8); }

// CompareStringOrdinal of two names, case ignored: CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN.
inline int CompareNamesNoCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
}

// Ordinal, case ignored.
inline bool SameNameNoCase(std::wstring_view a, std::wstring_view b) { return CompareNamesNoCase(a, b) == CSTR_EQUAL; }

// Whether `names` holds `name`, compared as above.
inline bool ContainsName(const std::vector<std::wstring>& names, std::wstring_view name) {
  for (const std::wstring& each : names)
    if (SameNameNoCase(each, name)) return true;
  return false;
}

// Whether `path` lies below `folder` (folder + "\\" + more), names compared as above.
inline bool IsBelow(std::wstring_view path, std::wstring_view folder) {
  return !folder.empty() && path.size() > folder.size() && path[folder.size()] == L'\\' &&
         SameNameNoCase(path.substr(0, folder.size()), folder);
}

// Ordering for sets and maps of names compared as SameNameNoCase compares them.
struct NoCaseLess {
  bool operator()(std::wstring_view a, std::wstring_view b) const { return CompareNamesNoCase(a, b) == CSTR_LESS_THAN; }
  using is_transparent = void;
};

}  // namespace tf
