#pragma once
// Dialog 220: says which folder goes, offers to delete the saved games too,
// and runs the removal on its own thread when Uninstall is pressed.
#include <windows.h>

namespace tf {

// Ends with 1 after an uninstall, 0 on Cancel or the close box.
INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tf
