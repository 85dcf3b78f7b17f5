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
// ProgressProbe below does both. The install dialog's bar, set from its
// message loop, is recorded the same way: however fast the copy, every step.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

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

// The test's side: the record and the hook on the dialog's thread of the
// program `processId`, for the progress bar `controlId`, from the hook DLL at
// `dllPath`; the positions set so far (the first 64).
class ProgressProbe {
 public:
  ProgressProbe(DWORD processId, HWND dialog, int controlId, const std::wstring& dllPath) {
    wchar_t name[64];
    ProgressRecordName(processId, name);
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ProgressRecord), name);
    if (!mapping_) return;
    record_ = static_cast<ProgressRecord*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    if (!record_) return;
    record_->controlId = controlId;
    dll_ = LoadLibraryW(dllPath.c_str());
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll_, kProgressProbeHook)));
    if (hook) hook_ = SetWindowsHookExW(WH_CALLWNDPROC, hook, dll_, GetWindowThreadProcessId(dialog, nullptr));
  }
  ~ProgressProbe() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (record_) UnmapViewOfFile(record_);
    if (mapping_) CloseHandle(mapping_);
  }
  ProgressProbe(const ProgressProbe&) = delete;
  ProgressProbe& operator=(const ProgressProbe&) = delete;
  bool Active() const { return hook_ != nullptr; }
  std::vector<int> Positions() const {
    std::vector<int> out;
    for (LONG i = 0; record_ && i < record_->count && i < 64; ++i) out.push_back(record_->positions[i]);
    return out;
  }

 private:
  HANDLE mapping_ = nullptr;
  ProgressRecord* record_ = nullptr;
  HMODULE dll_ = nullptr;
  HHOOK hook_ = nullptr;
};

}  // namespace tf::test
