// Drives tf_setup's two dialogs for tools/screenshots.sh. It fills in the
// install dialog, installs the given disc and stops at three moments (before
// the install, during the copy with the install held, at "Play now?"), then
// starts the install's uninstall.exe and stops at dialog 220 before it
// uninstalls. At each moment it writes NAME.ready into the marker folder and
// waits for NAME.done, which the script writes once it has taken its picture.
// First it measures both dialogs at the prefix's DPI, as their own dialog
// procedures lay them out, and names what does not fit.
//   dialog_screenshots.exe TF_SETUP DISC INSTALL_FOLDER MARKER_FOLDER
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dialog_layout.h"
#include "resources/install_dialog_ids.h"
#include "resources/uninstall_dialog_ids.h"
#include "shell/install_dialog.h"
#include "uninstall/run_uninstall.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall_entry.h"
#include "win_gui.h"
#include "win_test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 120000;

// Holds every thread of a process but the one that runs its windows, so that a
// screenshot shows one moment of the install while the dialog still paints.
class HeldThreads {
 public:
  HeldThreads(DWORD processId, DWORD windowThreadId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID != processId || entry.th32ThreadID == windowThreadId) continue;
      HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
      if (thread && SuspendThread(thread) != static_cast<DWORD>(-1))
        held_.push_back(thread);
      else if (thread)
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
  }
  ~HeldThreads() {
    for (HANDLE thread : held_) {
      ResumeThread(thread);
      CloseHandle(thread);
    }
  }
  HeldThreads(const HeldThreads&) = delete;
  HeldThreads& operator=(const HeldThreads&) = delete;

 private:
  std::vector<HANDLE> held_;
};

bool Moment(const std::wstring& markers, const wchar_t* name) {
  Sleep(300);  // painted
  const std::wstring ready = markers + L"\\" + name + L".ready", done = markers + L"\\" + name + L".done";
  if (!tf::test::WriteFileBytes(ready, "", 0)) return false;
  return tf::test::WaitUntil([&] { return tf::test::FileExists(done); }, kTimeoutMs, 20);
}

// The copy at a third or more, held: the install's threads stopped while the
// dialog shows their last report.
bool HoldDuringCopy(DWORD pid, HWND dialog, const std::wstring& markers) {
  const std::wstring copying = L"Copying game files from the disc image";
  const DWORD windowThread = GetWindowThreadProcessId(dialog, nullptr);
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
  while (GetTickCount64() < deadline) {
    {
      HeldThreads held(pid, windowThread);
      Sleep(50);  // the dialog takes in the last report
      const int position = tf::test::ProgressPosition(dialog, IDC_PROGRESS);
      const bool isCopying = tf::test::ControlText(dialog, IDC_STATUS).rfind(copying, 0) == 0;
      if (isCopying && position >= 30) return Moment(markers, L"during");
      if (position > 85 || (!isCopying && position >= 5)) {
        std::fprintf(stderr, "dialog_screenshots: the copy was over before it could be held\n");
        return false;
      }
    }
    Sleep(20);
  }
  return false;
}

bool DriveInstall(DWORD pid, const std::wstring& disc, const std::wstring& folder, const std::wstring& markers) {
  HWND dialog = tf::test::WaitForTopWindow(pid, L"#32770", L"Install Tarnfell", kTimeoutMs);
  if (!dialog) return false;
  tf::test::SetControlText(dialog, IDC_DISC_PATH, disc);
  tf::test::SetControlText(dialog, IDC_FOLDER_PATH, folder);
  if (!Moment(markers, L"before")) return false;

  tf::test::PressButton(dialog, IDC_INSTALL);
  if (!HoldDuringCopy(pid, dialog, markers)) return false;

  tf::test::SeenMessageBox box = tf::test::WaitForMessageBox(pid, L"Tarnfell", kTimeoutMs);
  if (!box.box) return false;
  const bool shot = Moment(markers, L"done");
  tf::test::AnswerMessageBox(box.box, IDNO);
  return shot;
}

// Dialog 220 as the install's own uninstall.exe shows it; then it uninstalls.
bool DriveUninstall(DWORD pid, const std::wstring& markers) {
  HWND dialog = tf::test::WaitForTopWindow(pid, L"#32770", L"Uninstall Tarnfell", kTimeoutMs);
  if (!dialog) return false;
  const bool shot = Moment(markers, L"uninstall");
  tf::test::PressButton(dialog, IDOK);
  return shot;
}

// Dialog 200 as it opens, dialog 220 for the install folder and for the
// longest folder it can be given; prints what does not fit.
size_t CheckLayout(const std::wstring& setup, const std::wstring& folder) {
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  struct Case {
    const char* what;
    int dialogId;
    DLGPROC procedure;
    std::wstring folder;
  } cases[] = {
      {"dialog 200", IDD_INSTALL, tf::InstallDialogProc, L""},
      {"dialog 220", IDD_UNINSTALL, tf::UninstallDialogProc, folder},
      {"dialog 220 with a folder of 259 characters", IDD_UNINSTALL, tf::UninstallDialogProc,
       L"C:\\" + std::wstring(256, L'x')},
  };
  tf::InstallSession session;
  tf::InstallDialogState installState(session);
  size_t problems = 0;
  for (const Case& c : cases) {
    tf::UninstallState uninstallState;
    uninstallState.uninstallFolder = c.folder;
    void* state = c.dialogId == IDD_INSTALL ? static_cast<void*>(&installState) : &uninstallState;
    const tf::test::ProgramDialog dialog(setup, c.dialogId, c.procedure, state);
    if (!dialog.Window()) {
      std::printf("dialog_screenshots: %s could not be made\n", c.what);
      ++problems;
      continue;
    }
    for (const std::string& problem : tf::test::LayoutProblems(dialog.Window())) {
      std::printf("dialog_screenshots: %s: %s\n", c.what, problem.c_str());
      ++problems;
    }
  }
  return problems;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: dialog_screenshots TF_SETUP DISC INSTALL_FOLDER MARKER_FOLDER\n");
    return 2;
  }
  const std::wstring setup = argv[1], disc = argv[2], folder = argv[3], markers = argv[4];
  const size_t layoutProblems = CheckLayout(setup, folder);
  // Wine draws the caption itself, and windows close at once.
  const tf::test::UnmanagedWindows unmanagedSetup(L"tf_setup.exe"), unmanagedUninstall(L"uninstall.exe");
  tf::test::RemoveTree(folder);
  bool installed = false, uninstalled = false;
  const tf::test::ProcessResult install = tf::test::RunPrograms(
      {{setup, L"", L"", false}}, 300000,
      [&](size_t, DWORD pid) { installed = DriveInstall(pid, disc, folder, markers); })[0];
  tf::test::ProcessResult uninstall;
  if (installed && install.exitCode == 1) {
    uninstall = tf::test::RunPrograms({{folder + L"\\uninstall.exe", L"", L"", false}}, 120000,
                                      [&](size_t, DWORD pid) { uninstalled = DriveUninstall(pid, markers); })[0];
    // The uninstaller's delayed clean-up removes its own file about two seconds after it ended.
    tf::test::WaitUntil([&] { return !tf::test::FileExists(folder); }, 15000);
  }
  tf::test::RemoveTree(folder);
  tf::test::ShortcutLocations().Delete();
  tf::test::DeleteUninstallEntry(KEY_WOW64_64KEY);
  std::printf("dialog_screenshots: layout problems %zu, install %s (exit code %lu), uninstall %s (exit code %lu)\n",
              layoutProblems, installed ? "taken" : "stopped early", install.exitCode,
              uninstalled ? "taken" : "stopped early", uninstall.exitCode);
  return layoutProblems == 0 && installed && install.exitCode == 1 && uninstalled && uninstall.exitCode == 0 ? 0 : 1;
}
