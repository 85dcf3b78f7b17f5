#pragma once
// Shared by the uninstaller's tests: a private temporary folder (so the
// uninstall log of a test is its own), tree layouts and listings.
#include <windows.h>
#include <tlhelp32.h>

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

// The processes that `parent` started under this program file name (case aside), running now.
inline std::vector<DWORD> ProcessesStartedBy(DWORD parent, const std::wstring& programName) {
  std::vector<DWORD> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ParentProcessID == parent && lstrcmpiW(entry.szExeFile, programName.c_str()) == 0)
      found.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return found;
}

// Waits for a process to end, calling `meanwhile` every 50 ms; false when it
// still runs after `timeoutMs` (or cannot be waited for).
template <typename Meanwhile>
bool WaitForProcessEnd(DWORD processId, DWORD timeoutMs, Meanwhile meanwhile) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return false;
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  DWORD wait = WAIT_TIMEOUT;
  while ((wait = WaitForSingleObject(process, 50)) == WAIT_TIMEOUT && GetTickCount64() < until) meanwhile();
  CloseHandle(process);
  return wait == WAIT_OBJECT_0;
}

// Programs named "ping" that would leave a sign if they ran: ping.bat writes
// "bat-ran.txt", and ping.exe and ping.com (copies of the play probe, when
// given) write "played.txt", each in `folder`.
inline bool PlantPings(const std::wstring& folder, const std::wstring& probeProgram, bool exe, bool com) {
  const std::string bat = "@echo ran> \"" + Ansi(folder) + "\\bat-ran.txt\"\r\n";
  if (!WriteFileBytes(folder + L"\\ping.bat", bat.data(), bat.size())) return false;
  if (exe && !CopyFileW(probeProgram.c_str(), (folder + L"\\ping.exe").c_str(), FALSE)) return false;
  return !com || CopyFileW(probeProgram.c_str(), (folder + L"\\ping.com").c_str(), FALSE);
}
inline bool PlantedPingRan(const std::wstring& folder) {
  return FileExists(folder + L"\\bat-ran.txt") || FileExists(folder + L"\\played.txt");
}

inline std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace tf::test
