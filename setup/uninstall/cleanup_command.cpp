#include "uninstall/cleanup_command.h"

#include <windows.h>

#include <vector>

#include "common/text.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf {

namespace {

constexpr int kCleanupRetries = 5;  // about two seconds each

std::wstring WithoutTrailingBackslashes(std::wstring path) {
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

// The text before the last backslash ("" when there is none); a drive root
// keeps its backslash.
std::wstring ParentOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  std::wstring parent = path.substr(0, slash);
  if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
  return parent;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
}

std::wstring NameOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  const std::wstring fa = WithoutTrailingBackslashes(FullPathName(a));
  const std::wstring fb = WithoutTrailingBackslashes(FullPathName(b));
  return !fa.empty() && SameNameNoCase(fa, fb);
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(folder, n);
}

// Moves the running program's file into `folder` under a name of its own;
// the name, or "" when it could not be moved.
std::wstring ParkIn(const std::wstring& programPath, const std::wstring& folder) {
  const std::wstring stem = L"tf_uninstall_" + std::to_wstring(GetCurrentProcessId());
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::wstring name = stem + (attempt ? L"_" + std::to_wstring(attempt) : L"") + L".tmp";
    if (MoveFileExW(programPath.c_str(), Join(folder, name).c_str(), 0)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) return {};
  }
  return {};
}

}  // namespace

bool IsLiteralName(std::wstring_view name) {
  if (name.empty()) return false;
  for (wchar_t c : name)
    if (c < 0x20 || std::wstring_view(L"%!^&|<>\"").find(c) != std::wstring_view::npos) return false;
  return true;
}

std::wstring CleanupCommandLine(const std::wstring& commandProcessor, const std::wstring& fileName,
                                const std::wstring& folderName) {
  const std::wstring pause = L"ping 127.0.0.1 -n 3 >nul";
  std::wstring line = L"\"" + commandProcessor + L"\" /d /c " + pause;
  if (!fileName.empty()) line += L" & del /f /q \"" + fileName + L"\"";
  if (!folderName.empty()) line += L" & cd .. & rmdir \"" + folderName + L"\"";
  // A file still open when it is deleted goes only with its last handle:
  // until then the folder is not empty. Try again while what is left exists.
  const std::wstring left = folderName.empty() ? fileName : folderName;
  if (left.empty()) return line;
  std::wstring again = L" & if exist \"" + left + L"\" (" + pause;
  if (!fileName.empty()) again += L" & del /f /q \"" + (folderName.empty() ? L"" : folderName + L"\\") + fileName + L"\"";
  if (!folderName.empty()) again += L" & rmdir \"" + folderName + L"\"";
  again += L")";
  for (int i = 0; i < kCleanupRetries; ++i) line += again;
  return line;
}

bool StartCleanupCommand(const std::wstring& commandLine, const std::wstring& workingFolder) {
  if (workingFolder.size() < 3 || workingFolder.compare(0, 2, L"\\\\") == 0) return false;
  const std::wstring system = SystemFolder();
  if (system.empty()) return false;
  const std::wstring application = system + L"\\cmd.exe";
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                      nullptr, workingFolder.c_str(), &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void CleanUpAfterExit(const std::wstring& uninstallFolder, const std::wstring& programPath) {
  const std::wstring folder = WithoutTrailingBackslashes(FullPathName(uninstallFolder));
  if (folder.empty()) return;
  const bool programInFolder = SameFolder(ParentOf(programPath), folder);
  // Started from its folder (a double-click), the process works in it, and no
  // folder can be removed while it is a process's current folder.
  SetCurrentDirectoryW(SystemFolder().c_str());
  if (!programInFolder) {
    RemoveDirectoryW(folder.c_str());
    return;
  }
  if (folder.compare(0, 2, L"\\\\") == 0) return;  // cmd.exe cannot work in a network folder
  const std::wstring commandProcessor = SystemFolder() + L"\\cmd.exe";
  const std::wstring fileName = NameOf(programPath), folderName = NameOf(folder);
  if (IsLiteralName(fileName) && IsLiteralName(folderName)) {
    StartCleanupCommand(CleanupCommandLine(commandProcessor, fileName, folderName), folder);
    return;
  }
  const std::wstring parent = ParentOf(folder);
  if (parent.empty()) return;
  const std::wstring parked = ParkIn(programPath, parent);
  if (parked.empty()) return;
  RemoveDirectoryW(folder.c_str());
  if (!StartCleanupCommand(CleanupCommandLine(commandProcessor, parked, L""), parent))
    MoveFileExW(Join(parent, parked).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace tf
