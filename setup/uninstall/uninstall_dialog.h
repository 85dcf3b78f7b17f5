#pragma once
// Dialog 220: says which folder goes, offers to delete the saved games too,
// and runs the removal inside the handler of its Uninstall button.
#include <windows.h>

namespace tf {

// The procedure of template 220; the lParam of WM_INITDIALOG is the
// UninstallState, whose alsoSaves the dialog sets. Ends with 1 after an
// uninstall, 0 on Cancel or the close box.
INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tf
