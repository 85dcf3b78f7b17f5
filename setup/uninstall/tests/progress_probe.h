#pragma once
// A window hook that records, inside the program that owns them, the
// positions a progress bar is set to (PBM_SETPOS). The program under test runs
// its removal inside a button handler and pumps no messages meanwhile, so
// asking the bar from outside would only ever see the end; the hook sees
// every step as it happens.
//
// The test creates the shared record (ProgressRecordName of the program's
// process id), then sets the hook (WH_CALLWNDPROC, ProgressProbeHook of this
// DLL) on the dialog's thread; the system loads the DLL into that program.
#include <windows.h>

#include <cwchar>

namespace tf::test {

struct ProgressRecord {
  LONG controlId;  // the progress bar to watch
  LONG count;
  LONG positions[64];
};

inline void ProgressRecordName(DWORD processId, wchar_t (&name)[64]) {
  std::swprintf(name, 64, L"Local\\tf_progress_probe_%lu", processId);
}

inline constexpr char kProgressProbeHook[] = "ProgressProbeHook";

}  // namespace tf::test
