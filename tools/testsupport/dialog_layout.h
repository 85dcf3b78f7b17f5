#pragma once
// A program's dialogs made in this process, and what a user would see of their
// layout: texts that do not fit their controls, controls that overlap or stick
// out of the dialog, what a control draws.
#include <windows.h>

#include <string>
#include <vector>

namespace tf::test {

// Dialog `templateId` of a program's resources (loaded as data: none of its
// code runs), made hidden with `procedure`, which the caller links from the
// program's own sources, and `state` as its parameter. Its windows are
// per-monitor DPI aware, as tf_setup's manifest makes the program's own.
class ProgramDialog {
 public:
  ProgramDialog(const std::wstring& program, int templateId, DLGPROC procedure, void* state);
  ~ProgramDialog();
  ProgramDialog(const ProgramDialog&) = delete;
  ProgramDialog& operator=(const ProgramDialog&) = delete;
  HWND Window() const { return window_; }

 private:
  HMODULE resources_ = nullptr;
  HWND window_ = nullptr;
};

// One line per fault, naming the control ids: a control outside the dialog's
// client area, two controls that overlap, a text that needs more room than its
// control has (measured with the control's font and its drawing style: word
// wrap, "&" prefixes, the box of a check box, the margins of a push button).
std::vector<std::string> LayoutProblems(HWND dialog);

// The last pixel column of a control's client area, from its left edge, where
// it draws something other than its background; -1 when it draws nothing.
int InkRight(HWND control);

}  // namespace tf::test
