#pragma once
// Under Wine, a test can reach the Unix side: Unix paths of Windows paths, and
// shell commands (Wine runs a Unix program given to CreateProcessW itself,
// detached, so the command ends by touching a marker that the caller waits for).
#include <windows.h>

#include <string>

#include "win_test_support.h"

namespace tf::test {

// The Unix path of a Windows path; "" when not under Wine.
inline std::string UnixPathOf(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return {};
  char* unixPath = toUnix(path.c_str());
  if (!unixPath) return {};
  std::string out = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return out;
}

// Runs `script` with /bin/sh (single quotes only) and waits for it to end; false
// when not under Wine or when it did not finish in time.
inline bool RunUnixShell(const std::string& script, const std::wstring& scratchFolder) {
  const std::wstring marker = scratchFolder + L"\\unix_done";
  const std::string unixMarker = UnixPathOf(marker);
  if (unixMarker.empty()) return false;
  DeleteFileW(marker.c_str());
  std::wstring line = L"Z:\\bin\\sh -c \"" + Utf16(script + "; touch '" + unixMarker + "'") + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  for (int i = 0; i < 200 && !FileExists(marker); ++i) Sleep(50);
  return DeleteFileW(marker.c_str()) != FALSE;
}

// A spare drive letter mapped to the folder `target` through a link in the
// prefix's dosdevices folder, for this object's lifetime; Root() (such as Y:\) is
// "" when none could be mapped.
//
// Wine tells a folder's drive by the identity (device and inode) of each
// drive's top folder, which it keeps for a moment: a folder made just after
// the target is gone may reuse its inode and be told to lie on the letter.
// Unmapping therefore waits until the target itself is told to lie elsewhere.
class MappedDrive {
 public:
  MappedDrive(const std::wstring& target, const std::wstring& scratchFolder)
      : scratch_(scratchFolder), target_(target) {
    std::string devices = UnixPathOf(L"C:\\");  // ".../dosdevices/c:/"
    const std::string unixTarget = UnixPathOf(target);
    const std::wstring made = scratch_ + L"\\drive_made", probe = target + L"\\tf_drive_probe";
    const std::string unixMade = UnixPathOf(made);
    if (devices.size() < 3 || unixTarget.empty() || unixMade.empty() || !WriteFileBytes(probe, "p", 1)) return;
    devices.resize(devices.size() - 3);
    for (wchar_t letter = L'Y'; letter >= L'M' && root_.empty(); --letter) {
      const std::string link = devices + static_cast<char>(letter - L'A' + 'a') + ":";
      DeleteFileW(made.c_str());
      RunUnixShell("[ -e '" + link + "' ] || [ -L '" + link + "' ] || { ln -s '" + unixTarget + "' '" + link +
                       "' && touch '" + unixMade + "'; }",
                   scratch_);
      if (!FileExists(made)) continue;  // the letter is taken
      link_ = link;
      const std::wstring root = std::wstring(1, letter) + L":\\";
      if (FileExists(root + L"tf_drive_probe")) root_ = root;
      else Unmap();
    }
    DeleteFileW(made.c_str());
    DeleteFileW(probe.c_str());
  }
  ~MappedDrive() { Unmap(); }
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;
  const std::wstring& Root() const { return root_; }

 private:
  void Unmap() {
    if (link_.empty()) return;
    RunUnixShell("rm -f '" + link_ + "'", scratch_);
    link_.clear();
    if (root_.empty()) return;
    const std::wstring onTheLetter = L"\\\\?\\" + root_.substr(0, 2);
    for (int i = 0; i < 100 && FinalPathOf(target_).rfind(onTheLetter, 0) == 0; ++i) Sleep(50);
  }
  static std::wstring FinalPathOf(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    wchar_t final[MAX_PATH] = {};
    const DWORD n = GetFinalPathNameByHandleW(h, final, MAX_PATH, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    return n > 0 && n < MAX_PATH ? std::wstring(final, n) : std::wstring();
  }
  std::wstring scratch_, target_, root_;
  std::string link_;
};

}  // namespace tf::test
