// The hook DLL of progress_probe.h.
#include "progress_probe.h"

#include <commctrl.h>

namespace {

tf::test::ProgressRecord* Record() {
  static tf::test::ProgressRecord* record = [] {
    wchar_t name[64];
    tf::test::ProgressRecordName(GetCurrentProcessId(), name);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name);  // kept for the process's life
    return mapping ? static_cast<tf::test::ProgressRecord*>(
                         MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(tf::test::ProgressRecord)))
                   : nullptr;
  }();
  return record;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProgressProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    tf::test::ProgressRecord* record = sent->message == PBM_SETPOS ? Record() : nullptr;
    if (record && GetDlgCtrlID(sent->hwnd) == record->controlId) {
      LONG at = InterlockedIncrement(&record->count) - 1;
      if (at < 64) record->positions[at] = static_cast<LONG>(sent->wParam);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
