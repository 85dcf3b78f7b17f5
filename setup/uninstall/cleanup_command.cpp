#include "uninstall/cleanup_command.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "common/install_folder.h"
#include "common/paths.h"
#include "common/system_library.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf {

namespace {

constexpr int kCleanupRetries = 5;  // about two seconds each

// The folder a path lies in ("" when there is none); a drive's top folder
// keeps its backslash, so that it can be a working folder.
std::wstring ParentOf(const std::wstring& path) {
  std::wstring parent(ParentFolderOf(path));
  if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
  return parent;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
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

std::wstring CleanupCommandLine(const std::wstring& systemFolder, const std::wstring& fileName,
                                const std::wstring& folderName) {
  if (!IsLiteralName(systemFolder)) return {};
  const std::wstring pause = L"\"" + systemFolder + L"\\PING.EXE\" 127.0.0.1 -n 3 >nul";
  std::wstring removal;
  if (!fileName.empty())
    removal += L" & del /f /q \"" + (folderName.empty() ? L"" : folderName + L"\\") + fileName + L"\"";
  if (!folderName.empty()) removal += L" & rmdir \"" + folderName + L"\"";
  std::wstring line = L"\"" + systemFolder + L"\\cmd.exe\" /d /s /c \"" + pause + removal;
  // A file still open when it is deleted goes only with its last handle:
  // until then the folder is not empty. Try again while what is left exists.
  const std::wstring left = folderName.empty() ? fileName : folderName;
  if (!left.empty())
    for (int i = 0; i < kCleanupRetries; ++i) line += L" & if exist \"" + left + L"\" (" + pause + removal + L")";
  return line + L"\"";
}

std::vector<wchar_t> EnvironmentWith(const wchar_t* environment, const std::wstring& name, const std::wstring& value) {
  std::vector<wchar_t> block;
  const std::wstring entry = name + L"=" + value;
  bool placed = false;
  auto place = [&] {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
    placed = true;
  };
  for (const wchar_t* e = environment; e != nullptr && *e != L'\0'; e += wcslen(e) + 1) {
    const std::wstring_view current(e);
    // Names such as "=C:" (the current folder of each drive) start with "=".
    const size_t equals = current.find(L'=', 1);
    const std::wstring_view currentName = current.substr(0, equals);
    const int order = CompareNamesNoCase(currentName, name);
    if (order == CSTR_EQUAL) {
      if (!placed) place();
      continue;
    }
    if (order == CSTR_GREATER_THAN && !placed) place();
    block.insert(block.end(), current.begin(), current.end());
    block.push_back(L'\0');
  }
  if (!placed) place();
  block.push_back(L'\0');
  return block;
}

bool StartCleanupCommand(const std::wstring& commandLine, const std::wstring& workingFolder) {
  if (commandLine.empty() || workingFolder.size() < 3 || workingFolder.compare(0, 2, L"\\\\") == 0) return false;
  const std::wstring system = SystemFolder();
  if (system.empty()) return false;
  const std::wstring application = system + L"\\cmd.exe";
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  // The command processor would otherwise look for a program named without
  // a path in its current folder, which a user may be able to write to, first.
  wchar_t* inherited = GetEnvironmentStringsW();
  std::vector<wchar_t> environment = EnvironmentWith(inherited, L"NoDefaultCurrentDirectoryInExePath", L"1");
  if (inherited != nullptr) FreeEnvironmentStringsW(inherited);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  // CREATE_NO_WINDOW alone: a console without a window, which the programs it
  // starts share (with DETACHED_PROCESS each of them would get a window).
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(), workingFolder.c_str(),
                      &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void CleanUpAfterExit(const std::wstring& uninstallFolder, const std::wstring& programPath) {
  const std::wstring folder = FullFolderPath(uninstallFolder);
  if (folder.empty() || IsDriveRoot(folder)) return;
  const bool programInFolder = IsDirectlyIn(programPath, folder);
  // Started from its folder (a double-click), the process works in it, and no
  // folder can be removed while it is a process's current folder.
  SetCurrentDirectoryW(SystemFolder().c_str());
  if (!programInFolder) {
    RemoveDirectoryW(folder.c_str());
    return;
  }
  if (folder.compare(0, 2, L"\\\\") == 0) return;  // cmd.exe cannot work in a network folder
  const std::wstring parent = ParentOf(folder);
  if (parent.empty()) return;
  const std::wstring system = SystemFolder();
  const std::wstring fileName(FileNameOf(programPath)), folderName(FileNameOf(folder));
  if (IsLiteralName(fileName) && IsLiteralName(folderName)) {
    StartCleanupCommand(CleanupCommandLine(system, fileName, folderName), parent);
    return;
  }
  const std::wstring parked = ParkIn(programPath, parent);
  if (parked.empty()) return;
  RemoveDirectoryW(folder.c_str());
  if (!StartCleanupCommand(CleanupCommandLine(system, parked, L""), parent))
    MoveFileExW(Join(parent, parked).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace tf
