#include "uninstall/uninstall_dialog.h"

#include <commctrl.h>

#include <string>

#include "pipeline/install_names.h"
#include "uninstall/run_uninstall.h"
#include "uninstall/uninstall_dialog_ids.h"

namespace tf {

namespace {

void OnInit(HWND dialog) {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  const std::wstring text = std::wstring(kGameTitle) + L" will be removed from:\n" +
                            TheUninstallState().uninstallFolder +
                            L"\n\nYour saved games are kept unless you tick the box below.";
  SetDlgItemTextW(dialog, IDC_UNINSTALL_TEXT, text.c_str());
  SendDlgItemMessageW(dialog, IDC_UNINSTALL_PROGRESS, PBM_SETRANGE32, 0, 100);
}

void OnUninstall(HWND dialog) {
  UninstallState& state = TheUninstallState();
  state.alsoSaves = IsDlgButtonChecked(dialog, IDC_UNINSTALL_ALSO_SAVES) == BST_CHECKED;
  if (state.alsoSaves && MessageBoxW(dialog, L"Your saved games will be permanently deleted. Continue?", kGameTitle,
                                     MB_YESNO | MB_ICONWARNING) != IDYES)
    return;
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
  RunUninstall(dialog);
  EndDialog(dialog, 1);
}

}  // namespace

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnUninstall(dialog);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace tf
