#pragma once
// The install dialog (template 200): the user picks the image and the folder,
// the install runs on a worker thread, and the dialog shows its progress.
#include <windows.h>

namespace tf {

// Runs the dialog modally; 1 after a completed install, and when the dialog
// could not be shown (said in a message box); 0 otherwise.
int RunInstallDialog();

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tf
