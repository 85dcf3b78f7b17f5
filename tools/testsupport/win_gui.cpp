#include "win_gui.h"

#include <commctrl.h>

#include <vector>

namespace tf::test {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

struct Search {
  DWORD processId;
  const wchar_t* className;
  const std::wstring* title;
  HWND except;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (window == s->except || !IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (s->processId != 0 && pid != s->processId) return TRUE;
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (s->className && std::wstring(cls) != s->className) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (s->title && !s->title->empty() && *s->title != title) return TRUE;
  s->found.push_back(window);
  return TRUE;
}

bool IsMessageBox(HWND window) {
  HWND text = GetDlgItem(window, 0xFFFF);
  if (!text) return false;
  return FindWindowExW(window, nullptr, L"Edit", nullptr) == nullptr;
}

std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  text.resize(static_cast<size_t>(copied));
  return text;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(stepMs);
  }
}

HWND FindTopWindow(DWORD processId, const wchar_t* className, const std::wstring& title, HWND except) {
  Search s{processId, className, &title, except, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&s));
  return s.found.empty() ? nullptr : s.found.front();
}

namespace {
// A program that has ended shows no more windows: waits for one stop then.
class ProcessWatch {
 public:
  explicit ProcessWatch(DWORD processId) : process_(OpenProcess(SYNCHRONIZE, FALSE, processId)) {}
  ~ProcessWatch() {
    if (process_ != nullptr) CloseHandle(process_);
  }
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;
  bool Ended() const { return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

 private:
  HANDLE process_;
};
}  // namespace

HWND WaitForTopWindow(DWORD processId, const wchar_t* className, const std::wstring& title, DWORD timeoutMs,
                      HWND except) {
  HWND found = nullptr;
  const ProcessWatch watch(processId);
  WaitUntil([&] { return (found = FindTopWindow(processId, className, title, except)) != nullptr || watch.Ended(); },
            timeoutMs);
  return found;
}

SeenMessageBox WaitForMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs, HWND except) {
  SeenMessageBox seen;
  const ProcessWatch watch(processId);
  WaitUntil(
      [&] {
        if (watch.Ended()) return true;
        Search s{processId, L"#32770", &caption, except, {}};
        EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&s));
        for (HWND w : s.found)
          if (IsMessageBox(w)) {
            seen.box = w;
            return true;
          }
        return false;
      },
      timeoutMs);
  if (seen.box) seen.text = WindowText(GetDlgItem(seen.box, 0xFFFF));
  return seen;
}

bool AnswerMessageBox(HWND box, int buttonId, DWORD timeoutMs) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
  return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeoutMs);
}

std::wstring ControlText(HWND dialog, int controlId) { return WindowText(GetDlgItem(dialog, controlId)); }

void SetControlText(HWND dialog, int controlId, const std::wstring& text) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

bool IsChecked(HWND dialog, int controlId) {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
  return state == BST_CHECKED;
}

void SetChecked(HWND dialog, int controlId, bool checked) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, controlId), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0,
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

bool IsControlEnabled(HWND dialog, int controlId) { return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE; }

void PressButton(HWND dialog, int controlId) { PostMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0); }

void SendCommand(HWND dialog, int commandId) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(commandId, 0), 0); }

int ProgressPosition(HWND dialog, int controlId) {
  DWORD_PTR position = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, controlId), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &position);
  return static_cast<int>(position);
}

UnmanagedWindows::UnmanagedWindows(const std::wstring& programFileName)
    : key_(L"Software\\Wine\\AppDefaults\\" + programFileName) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\X11 Driver").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
  RegCloseKey(key);
}

UnmanagedWindows::~UnmanagedWindows() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

}  // namespace tf::test
