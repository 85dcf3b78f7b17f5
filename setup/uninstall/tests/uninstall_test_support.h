#pragma once
// Shared by the uninstaller's tests: a private temporary folder (so the
// uninstall log of a test is its own), tree layouts and listings.
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "win_test_support.h"

namespace tf::test {

// Points TMP (and with it GetTempPathW and tf_uninstall.log) at a folder for
// this object's lifetime; programs started meanwhile inherit it.
class TempFolderOverride {
 public:
  explicit TempFolderOverride(const std::wstring& folder) {
    wchar_t old[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"TMP", old, MAX_PATH);
    had_ = n > 0 && n < MAX_PATH;
    old_ = old;
    SetEnvironmentVariableW(L"TMP", folder.c_str());
  }
  ~TempFolderOverride() { SetEnvironmentVariableW(L"TMP", had_ ? old_.c_str() : nullptr); }
  TempFolderOverride(const TempFolderOverride&) = delete;
  TempFolderOverride& operator=(const TempFolderOverride&) = delete;

 private:
  std::wstring old_;
  bool had_ = false;
};

// A fresh folder (as TempDir) whose subfolder `tempName`, or the folder itself
// when none is named, is TMP for this object's lifetime: the uninstall log a
// test reads is its own.
class PrivateTempDir {
 public:
  explicit PrivateTempDir(const std::wstring& tempName = L"") : temp_(MakeTemp(dir_, tempName)), override_(temp_) {}
  const std::wstring& Path() const { return dir_.Path(); }
  std::wstring operator/(const std::wstring& name) const { return dir_ / name; }
  const std::wstring& Temp() const { return temp_; }

 private:
  static std::wstring MakeTemp(const TempDir& dir, const std::wstring& name) {
    if (name.empty()) return dir.Path();
    CreateDirectoryW((dir / name).c_str(), nullptr);
    return dir / name;
  }
  TempDir dir_;
  std::wstring temp_;
  TempFolderOverride override_;
};

// Entries relative to `root`: "a\\b\\" is a folder, anything else a file
// (holding its own name).
inline void MakeTree(const std::wstring& root, std::initializer_list<const wchar_t*> entries) {
  CreateDirectoryW(root.c_str(), nullptr);
  for (const wchar_t* e : entries) {
    std::wstring rel = e;
    for (size_t at = rel.find(L'\\'); at != std::wstring::npos; at = rel.find(L'\\', at + 1))
      CreateDirectoryW((root + L"\\" + rel.substr(0, at)).c_str(), nullptr);
    if (rel.back() != L'\\') {
      std::string content = Utf8(rel);
      WriteFileBytes(root + L"\\" + rel, content.data(), content.size());
    }
  }
}

// Every entry below `root`, sorted, folders with a trailing backslash; links
// to folders are listed but not entered.
inline std::vector<std::wstring> ListTree(const std::wstring& root, const std::wstring& prefix = L"") {
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((root + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    out.push_back(prefix + name + (folder ? L"\\" : L""));
    if (folder && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      std::vector<std::wstring> below = ListTree(root + L"\\" + name, prefix + name + L"\\");
      out.insert(out.end(), below.begin(), below.end());
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  std::sort(out.begin(), out.end());
  return out;
}

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace tf::test
