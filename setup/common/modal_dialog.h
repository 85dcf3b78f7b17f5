#pragma once
// A program's modal dialog, the state it is given, and what the user sees
// when it cannot be shown.
#include <windows.h>

#include <string>

namespace tf {

// DialogBoxParamW without owner, with `state` as the dialog's parameter. When
// the dialog cannot be created (its template missing, no memory), a message
// box with `caption` says "The <window> window could not be opened (error
// <code>)." with the system's error code, and the result is -1.
template <typename State>
INT_PTR RunModalDialog(HINSTANCE instance, WORD templateId, DLGPROC procedure, State& state, const wchar_t* caption,
                       const wchar_t* window) {
  const INT_PTR ended = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), nullptr, procedure,
                                        reinterpret_cast<LPARAM>(&state));
  if (ended == -1) {
    const std::wstring text = std::wstring(L"The ") + window + L" window could not be opened (error " +
                              std::to_wstring(GetLastError()) + L").";
    MessageBoxW(nullptr, text.c_str(), caption, MB_ICONERROR | MB_OK);
  }
  return ended;
}

// For a dialog procedure: the state its dialog was created with (the lParam
// of WM_INITDIALOG, kept in DWLP_USER); null for the messages that come before
// WM_INITDIALOG.
template <typename State>
State* DialogState(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  return reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

}  // namespace tf
