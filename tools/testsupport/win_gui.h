#pragma once
// Driving a program's windows from a test, through window messages, as a user
// would: find its dialog, read and set control texts, press buttons, answer
// its message boxes. Works across processes (the messages are marshalled).
#include <windows.h>

#include <functional>
#include <string>

namespace tf::test {

// Calls `condition` every `stepMs` until it is true or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 50);

// A visible top-level window of the process (0: any process) with this class
// ("#32770" for dialogs and message boxes) and title, other than `except`.
HWND FindTopWindow(DWORD processId, const wchar_t* className, const std::wstring& title, HWND except = nullptr);
HWND WaitForTopWindow(DWORD processId, const wchar_t* className, const std::wstring& title, DWORD timeoutMs,
                      HWND except = nullptr);

// A message box: a "#32770" window with the caption that holds a static text
// (id 0xFFFF) and no edit field. Its text, with the line breaks it shows.
struct SeenMessageBox {
  HWND box = nullptr;
  std::wstring text;
};
SeenMessageBox WaitForMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs,
                                 HWND except = nullptr);
// Presses the button (IDOK, IDYES, IDNO, ...) of a message box and waits until it is gone.
bool AnswerMessageBox(HWND box, int buttonId, DWORD timeoutMs = 10000);

std::wstring ControlText(HWND dialog, int controlId);
void SetControlText(HWND dialog, int controlId, const std::wstring& text);
bool IsChecked(HWND dialog, int controlId);
void SetChecked(HWND dialog, int controlId, bool checked);
bool IsControlEnabled(HWND dialog, int controlId);
// Clicks a button or check box (BM_CLICK, posted: the test does not wait for
// a modal loop the click may start). A disabled control ignores it, as it
// would a user's click.
void PressButton(HWND dialog, int controlId);
// Posts WM_COMMAND with this id, as a key (Escape: IDCANCEL) or a menu would.
void SendCommand(HWND dialog, int commandId);
// PBM_GETPOS of a progress bar.
int ProgressPosition(HWND dialog, int controlId);

// Xvfb runs no window manager, and Wine then waits about two seconds for each
// window it hides (a message box answered, a dialog closed), with the program's
// thread stuck meanwhile. While this object lives, the windows of programs with
// this file name are left unmanaged (Wine's AppDefaults for the X11 driver), so
// they close at once; the setting goes again at the end.
class UnmanagedWindows {
 public:
  explicit UnmanagedWindows(const std::wstring& programFileName);
  ~UnmanagedWindows();
  UnmanagedWindows(const UnmanagedWindows&) = delete;
  UnmanagedWindows& operator=(const UnmanagedWindows&) = delete;

 private:
  std::wstring key_;
};

}  // namespace tf::test
