#include "uninstall/uninstall_dialog.h"

#include <commctrl.h>

#include <string>

#include "common/game_edition.h"
#include "common/modal_dialog.h"
#include "resources/uninstall_dialog_ids.h"
#include "uninstall/run_uninstall.h"

namespace tf {

namespace {

RECT RectInDialog(HWND dialog, HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A long folder name wraps to more lines than the template leaves room for: the
// text grows until it holds them all, what lies below it moves down, and the
// dialog grows by as much, centred where it was.
void MakeRoomForText(HWND dialog, int textId) {
  HWND text = GetDlgItem(dialog, textId);
  RECT client{};
  GetClientRect(text, &client);
  const int length = GetWindowTextLengthW(text);
  std::wstring content(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(text, content.data(), length + 1);
  HDC dc = GetDC(text);
  if (!dc) return;
  HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
  RECT needed = client;
  // As the control draws it: SS_NOPREFIX and SS_EDITCONTROL.
  DrawTextW(dc, content.c_str(), length, &needed,
            DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL);
  SelectObject(dc, font);
  ReleaseDC(text, dc);
  const int grow = needed.bottom - client.bottom;
  if (grow <= 0) return;

  const RECT textRect = RectInDialog(dialog, text);
  constexpr UINT kKeep = SWP_NOZORDER | SWP_NOACTIVATE;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const RECT r = RectInDialog(dialog, child);
    if (child == text)
      SetWindowPos(child, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + grow, SWP_NOMOVE | kKeep);
    else if (r.top >= textRect.bottom)
      SetWindowPos(child, nullptr, r.left, r.top + grow, 0, 0, SWP_NOSIZE | kKeep);
  }
  RECT frame{};
  GetWindowRect(dialog, &frame);
  SetWindowPos(dialog, nullptr, frame.left, frame.top - grow / 2, frame.right - frame.left,
               frame.bottom - frame.top + grow, kKeep);
}

void OnInit(HWND dialog, const UninstallState& state) {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  const std::wstring text = std::wstring(kGameTitle) + L" will be removed from:\n" +
                            state.uninstallFolder +
                            L"\n\nYour saved games are kept unless you tick the box below.";
  SetDlgItemTextW(dialog, IDC_UNINSTALL_TEXT, text.c_str());
  MakeRoomForText(dialog, IDC_UNINSTALL_TEXT);
  SendDlgItemMessageW(dialog, IDC_UNINSTALL_PROGRESS, PBM_SETRANGE32, 0, 100);
}

void OnUninstall(HWND dialog, UninstallState& state) {
  state.alsoSaves = IsDlgButtonChecked(dialog, IDC_UNINSTALL_ALSO_SAVES) == BST_CHECKED;
  if (state.alsoSaves && MessageBoxW(dialog, L"Your saved games will be permanently deleted. Continue?", kGameTitle,
                                     MB_YESNO | MB_ICONWARNING) != IDYES)
    return;
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
  const UninstallOutcome outcome = RunUninstall(state, dialog);
  if (outcome == UninstallOutcome::Removed) {
    EndDialog(dialog, 1);
    return;
  }
  const wchar_t* text = outcome == UninstallOutcome::Refused ? kNotFoundText
                        : outcome == UninstallOutcome::InUse ? kInUseText
                                                             : kIncompleteText;
  MessageBoxW(dialog, text, kGameTitle, MB_ICONWARNING);
  if (outcome != UninstallOutcome::InUse) {
    EndDialog(dialog, 0);
    return;
  }
  // Nothing was removed: the player closes the game and presses Uninstall again.
  SendDlgItemMessageW(dialog, IDC_UNINSTALL_PROGRESS, PBM_SETPOS, 0, 0);
  EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
  EnableWindow(GetDlgItem(dialog, IDCANCEL), TRUE);
}

}  // namespace

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  UninstallState* state = DialogState<UninstallState>(dialog, message, lParam);
  if (state == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, *state);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnUninstall(dialog, *state);
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
