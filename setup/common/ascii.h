#pragma once
// Case folding for the ASCII letters only, as disc names and switches compare
// (narrow disc names, wide command lines).
#include <string_view>

namespace tf {

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

inline bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// A wide name against an ASCII one (names the program itself holds narrow).
inline bool EqualsNoCaseAscii(std::wstring_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != static_cast<wchar_t>(static_cast<unsigned char>(LowerAscii(b[i])))) return false;
  return true;
}

}  // namespace tf
