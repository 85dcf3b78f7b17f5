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

}  // namespace tf::test
