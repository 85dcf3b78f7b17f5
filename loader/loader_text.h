#pragma once
// Text helpers of tf_loader: command-line splitting, path joining and the few
// printf conversions its report lines use. No standard library (the loader is
// linked without one), so the native tests can include this header as it is.
#include <stddef.h>
#include <stdint.h>

namespace tf::loader {

constexpr size_t kPathChars = 260;  // every path buffer, NUL included

inline size_t Length(const char* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Length of the folder part of a module path: up to and including the last backslash (0 if none).
inline size_t FolderLength(const char* path) {
  size_t cut = 0;
  for (size_t i = 0; path[i]; ++i)
    if (path[i] == '\\') cut = i + 1;
  return cut;
}

// out := folder[0..folderLen) + name, cut to kPathChars - 1 characters.
// Returns false when the result had to be cut.
inline bool JoinPath(char (&out)[kPathChars], const char* folder, size_t folderLen, const char* name) {
  size_t n = 0;
  bool whole = true;
  for (size_t i = 0; i < folderLen; ++i) {
    if (n == kPathChars - 1) { whole = false; break; }
    out[n++] = folder[i];
  }
  for (size_t i = 0; whole && name[i]; ++i) {
    if (n == kPathChars - 1) { whole = false; break; }
    out[n++] = name[i];
  }
  out[n] = '\0';
  return whole;
}

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Skips the program name the way the C runtime splits a command line: a quoted
// name ends at the next quote, an unquoted one at the first blank.
inline const char* SkipProgramName(const char* p) {
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  return p;
}

// Copies the first argument after the program name into out (capacity of at
// least strlen(commandLine) + 1), applying the C runtime's quote and backslash
// rules: 2n backslashes before a quote give n and the quote toggles quoting,
// 2n+1 give n and a literal quote, "" inside quotes gives a literal quote.
// Returns false when there is no argument.
inline bool FirstArgument(const char* commandLine, char* out) {
  const char* p = SkipProgramName(commandLine);
  if (!*p) return false;
  size_t n = 0;
  bool quoted = false;
  while (*p) {
    if (!quoted && IsBlank(*p)) break;
    if (*p == '\\') {
      size_t slashes = 0;
      while (*p == '\\') { ++slashes; ++p; }
      if (*p == '"') {
        for (size_t i = 0; i < slashes / 2; ++i) out[n++] = '\\';
        if (slashes % 2) { out[n++] = '"'; ++p; }
      } else {
        for (size_t i = 0; i < slashes; ++i) out[n++] = '\\';
      }
      continue;
    }
    if (*p == '"') {
      if (quoted && p[1] == '"') {
        out[n++] = '"';
        p += 2;
        continue;
      }
      quoted = !quoted;
      ++p;
      continue;
    }
    out[n++] = *p++;
  }
  out[n] = '\0';
  return true;
}

// A growing line of output; Put* return the line for chaining.
class Line {
 public:
  Line(char* buffer, size_t capacity) : buf_(buffer), cap_(capacity) { buf_[0] = '\0'; }
  const char* Text() const { return buf_; }
  size_t Size() const { return n_; }
  bool Overflowed() const { return overflow_; }

  Line& Str(const char* s) {
    while (*s) Char(*s++);
    return *this;
  }
  // %p of the Windows C runtime on 32-bit x86: eight upper-case hex digits.
  Line& Pointer(uintptr_t v) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = 28; shift >= 0; shift -= 4) Char(kHex[(static_cast<uint32_t>(v) >> shift) & 0xF]);
    return *this;
  }
  Line& Unsigned(uint32_t v) {  // %lu
    char digits[10];
    int k = 0;
    do {
      digits[k++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    while (k) Char(digits[--k]);
    return *this;
  }
  Line& Signed(int32_t v) {  // %d
    if (v < 0) {
      Char('-');
      return Unsigned(0u - static_cast<uint32_t>(v));
    }
    return Unsigned(static_cast<uint32_t>(v));
  }

 private:
  void Char(char c) {
    if (n_ + 1 >= cap_) {
      overflow_ = true;
      return;
    }
    buf_[n_++] = c;
    buf_[n_] = '\0';
  }
  char* buf_;
  size_t cap_;
  size_t n_ = 0;
  bool overflow_ = false;
};

}  // namespace tf::loader
