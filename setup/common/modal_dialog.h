#pragma once
// A program's modal dialog, and what the user sees when it cannot be shown.
#include <windows.h>

#include <string>

namespace tf {

// DialogBoxParamW without owner. When the dialog cannot be created (its
// template missing, no memory), a message box with `caption` says "The
// <window> window could not be opened (error <code>)." with the system's error
// code, and the result is -1.
inline INT_PTR RunModalDialog(HINSTANCE instance, WORD templateId, DLGPROC procedure, const wchar_t* caption,
                              const wchar_t* window) {
  const INT_PTR ended = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), nullptr, procedure, 0);
  if (ended == -1) {
    const std::wstring text = std::wstring(L"The ") + window + L" window could not be opened (error " +
                              std::to_wstring(GetLastError()) + L").";
    MessageBoxW(nullptr, text.c_str(), caption, MB_ICONERROR | MB_OK);
  }
  return ended;
}

}  // namespace tf
