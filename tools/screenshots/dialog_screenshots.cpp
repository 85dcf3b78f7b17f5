// Drives tf_setup's install dialog for tools/screenshots.sh: fills it in,
// installs the given disc and stops at three moments (before the install,
// during the copy with the install held, at "Play now?"), each time writing
// NAME.ready into the marker folder and waiting for NAME.done, which the
// script writes once it has taken its screenshot. Removes what the install
// left at the end.
//   dialog_screenshots.exe TF_SETUP DISC INSTALL_FOLDER MARKER_FOLDER
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resources/install_dialog_ids.h"
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
  const std::wstring ready = markers + L"\\" + name + L".ready", done = markers + L"\\" + name + L".done";
  if (!tf::test::WriteFileBytes(ready, "", 0)) return false;
  return tf::test::WaitUntil([&] { return tf::test::FileExists(done); }, kTimeoutMs, 20);
}

bool Drive(DWORD pid, const std::wstring& disc, const std::wstring& folder, const std::wstring& markers) {
  HWND dialog = tf::test::WaitForTopWindow(pid, L"#32770", L"Install Tarnfell", kTimeoutMs);
  if (!dialog) return false;
  tf::test::SetControlText(dialog, IDC_DISC_PATH, disc);
  tf::test::SetControlText(dialog, IDC_FOLDER_PATH, folder);
  Sleep(300);  // repainted
  if (!Moment(markers, L"before")) return false;

  tf::test::PressButton(dialog, IDC_INSTALL);
  const std::wstring copying = L"Copying game files from the disc image";
  if (!tf::test::WaitUntil(
          [&] {
            return tf::test::ProgressPosition(dialog, IDC_PROGRESS) >= 30 &&
                   tf::test::ControlText(dialog, IDC_STATUS).rfind(copying, 0) == 0;
          },
          kTimeoutMs, 10))
    return false;
  {
    HeldThreads held(pid, GetWindowThreadProcessId(dialog, nullptr));
    Sleep(300);  // the last report painted
    if (!Moment(markers, L"during")) return false;
  }

  tf::test::SeenMessageBox box = tf::test::WaitForMessageBox(pid, L"Tarnfell", kTimeoutMs);
  if (!box.box) return false;
  Sleep(300);
  const bool shot = Moment(markers, L"done");
  tf::test::AnswerMessageBox(box.box, IDNO);
  return shot;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: dialog_screenshots TF_SETUP DISC INSTALL_FOLDER MARKER_FOLDER\n");
    return 2;
  }
  const std::wstring setup = argv[1], disc = argv[2], folder = argv[3], markers = argv[4];
  const tf::test::UnmanagedWindows unmanaged(L"tf_setup.exe");  // Wine draws the caption itself
  bool driven = false;
  tf::test::ProcessResult r = tf::test::RunPrograms({{setup, L"", L"", false}}, 300000, [&](size_t, DWORD pid) {
    driven = Drive(pid, disc, folder, markers);
  })[0];
  tf::test::RemoveTree(folder);
  tf::test::ShortcutLocations().Delete();
  tf::test::DeleteUninstallEntry(KEY_WOW64_64KEY);
  std::printf("dialog_screenshots: %s, tf_setup exit code %lu\n", driven ? "three moments taken" : "stopped early",
              r.exitCode);
  return driven && r.exitCode == 1 ? 0 : 1;
}
