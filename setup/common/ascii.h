#pragma once
// Case folding for the ASCII letters only, as disc names and switches compare
// (narrow disc names, wide command lines).
#include <string>
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

// An ASCII name as a wide string (every ANSI code page maps ASCII one to one).
inline std::wstring WidenAscii(std::string_view s) {
  std::wstring w;
  for (char c : s) w.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return w;
}

// A copy with A to Z folded to lower case.
inline std::wstring LowerAsciiCopy(std::wstring_view s) {
  std::wstring out(s);
  for (wchar_t& c : out) c = LowerAscii(c);
  return out;
}

// Case-insensitive substring test for a command-line switch given in lower
// case, as loose as the switches have always been: "/silentx" contains "/silent".
inline bool HasSwitch(std::wstring_view commandTail, std::wstring_view switchText) {
  return LowerAsciiCopy(commandTail).find(switchText) != std::wstring::npos;
}

}  // namespace tf
