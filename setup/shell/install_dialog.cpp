// The install dialog's lifecycle: start-up, progress, the end of a run and
// closing. Commands are in install_dialog_commands.cpp.
#include "shell/install_dialog.h"

#include <commctrl.h>

#include <string>

#include "common/game_edition.h"
#include "common/known_folders.h"
#include "common/modal_dialog.h"
#include "resources/install_dialog_ids.h"
#include "shell/game_start.h"
#include "shell/install_dialog_parts.h"
#include "shell/install_inputs.h"
#include "shell/install_session.h"

namespace tf {

namespace {

constexpr DWORD kWorkerExitWaitMs = 5000;
constexpr int kInputControls[] = {IDC_DISC_PATH,        IDC_DISC_BROWSE,         IDC_FOLDER_PATH,   IDC_FOLDER_BROWSE,
                                  IDC_DESKTOP_SHORTCUT, IDC_START_MENU_SHORTCUT, IDC_BUILD_ANDROID, IDC_INSTALL};

constexpr wchar_t kPlayNowQuestion[] =
    L"Tarnfell is installed.\n\nSaved games and settings are kept in your user profile, so they survive an "
    L"uninstall.\n\nPlay now?";
constexpr wchar_t kDidNotFinish[] = L"The installation did not finish.";

void OnInitDialog(HWND dialog) {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  CheckDlgButton(dialog, IDC_DESKTOP_SHORTCUT, BST_CHECKED);
  CheckDlgButton(dialog, IDC_START_MENU_SHORTCUT, BST_CHECKED);
  const std::wstring folder =
      DefaultInstallFolder(KnownFolderPath(FOLDERID_ProgramFilesX86), KnownFolderPath(FOLDERID_ProgramFiles));
  SetDlgItemTextW(dialog, IDC_FOLDER_PATH, folder.c_str());
  SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
}

void OnProgress(HWND dialog, InstallSession& session) {
  // Notices still queued tell nothing newer than the pair read below: dropping
  // them keeps the dialog up to date with a copy that reports faster than the
  // window repaints.
  MSG queued;
  while (PeekMessageW(&queued, dialog, kMsgProgress, kMsgProgress, PM_REMOVE)) {
  }
  const InstallProgress progress = session.Progress();
  SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, progress.percent, 0);
  SetDlgItemTextW(dialog, IDC_STATUS, progress.statusText.c_str());
}

void OnInstallFinished(HWND dialog, InstallDialogState& state) {
  state.installing = false;
  if (state.worker) {
    WaitForSingleObject(state.worker.Get(), kWorkerExitWaitMs);
    state.worker.Reset();
  }
  const InstallSession& session = state.session;
  if (session.Installed()) {
    SetDlgItemTextW(dialog, IDC_STATUS, L"Installed.");
    if (MessageBoxW(dialog, kPlayNowQuestion, kGameTitle, MB_ICONINFORMATION | MB_YESNO) == IDYES)
      StartInstalledGame(session.Choices().installFolder);
    EndDialog(dialog, 1);
    return;
  }
  SetDlgItemTextW(dialog, IDC_STATUS, L"");
  SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
  const std::wstring message = session.FailureMessage().empty() ? kDidNotFinish : session.FailureMessage();
  MessageBoxW(dialog, message.c_str(), kGameTitle, MB_ICONERROR | MB_OK);
  EnableInputs(dialog, true);
}

}  // namespace

void EnableInputs(HWND dialog, bool enabled) {
  for (int id : kInputControls) EnableWindow(GetDlgItem(dialog, id), enabled);
  // The focus must not stay on a disabled control: Cancel during a run, Install after it.
  HWND focus = GetDlgItem(dialog, enabled ? IDC_INSTALL : IDCANCEL);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
}

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  InstallDialogState* state = DialogState<InstallDialogState>(dialog, message, lParam);
  if (state == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case kMsgProgress:
      OnProgress(dialog, state->session);
      return TRUE;
    case kMsgInstallFinished:
      OnInstallFinished(dialog, *state);
      return TRUE;
    case WM_CLOSE:  // the close button and Alt+F4: ignored while installing
      if (!state->installing) EndDialog(dialog, 0);
      return TRUE;
    case WM_COMMAND:
      return HandleInstallDialogCommand(dialog, *state, LOWORD(wParam)) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

int RunInstallDialog(InstallSession& session, bool noPfxExport) {
  InstallDialogState state(session, noPfxExport);
  const INT_PTR end =
      RunModalDialog(GetModuleHandleW(nullptr), IDD_INSTALL, InstallDialogProc, state, kGameTitle, L"install");
  return (end == 1 || end == -1) ? 1 : 0;
}

}  // namespace tf
