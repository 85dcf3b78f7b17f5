// The install dialog's commands: Browse (image and folder), Install and Cancel.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "common/game_edition.h"
#include "resources/install_dialog_ids.h"
#include "shell/file_picker.h"
#include "shell/install_dialog_parts.h"
#include "shell/install_inputs.h"
#include "shell/install_session.h"

namespace tf {

namespace {

// The whole text of a field, however long: a cut path would name another file or folder.
std::wstring FieldText(HWND dialog, int id) {
  HWND field = GetDlgItem(dialog, id);
  const int length = GetWindowTextLengthW(field);
  if (length <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(field, buffer.data(), length + 1);
  return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Inform(HWND dialog, const wchar_t* text) { MessageBoxW(dialog, text, kGameTitle, MB_ICONINFORMATION | MB_OK); }

DWORD WINAPI InstallWorker(LPVOID context) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  static_cast<InstallSession*>(context)->Run();  // which posts the end of the run
  CoUninitialize();
  return 0;
}

void StartInstall(HWND dialog, InstallDialogState& state, const std::wstring& discPath,
                  const std::wstring& installFolder) {
  InstallSession& session = state.session;
  session.Begin(dialog, {discPath, installFolder, Checked(dialog, IDC_DESKTOP_SHORTCUT),
                         Checked(dialog, IDC_START_MENU_SHORTCUT), Checked(dialog, IDC_BUILD_ANDROID),
                         state.noPfxExport});
  EnableInputs(dialog, false);

  state.installing = true;
  state.worker.Reset(CreateThread(nullptr, 0, InstallWorker, &session, 0, nullptr));
  // Without a worker nothing posts the end of the run: it ends here, as a run
  // that did not finish.
  if (!state.worker) PostMessageW(dialog, kMsgInstallFinished, 0, 0);
}

void OnInstall(HWND dialog, InstallDialogState& state) {
  const std::wstring disc = FieldText(dialog, IDC_DISC_PATH);
  const std::wstring folder = FieldText(dialog, IDC_FOLDER_PATH);
  auto exists = [](const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
  switch (CheckInstallInputs(disc, folder, exists)) {
    case InputVerdict::ChooseDisc:
      Inform(dialog, kChooseDiscMessage);
      return;
    case InputVerdict::ChooseFolder:
      Inform(dialog, kChooseFolderMessage);
      return;
    case InputVerdict::Start:
      StartInstall(dialog, state, disc, folder);
      return;
  }
}

void OnCancel(HWND dialog, InstallDialogState& state) {
  if (!state.installing) {
    EndDialog(dialog, 0);
    return;
  }
  // The run stops at its next progress call and ends through WM_APP+2.
  if (MessageBoxW(dialog, L"Stop the installation?", kGameTitle, MB_ICONQUESTION | MB_YESNO) == IDYES)
    state.session.RequestCancel();
}

}  // namespace

bool HandleInstallDialogCommand(HWND dialog, InstallDialogState& state, int commandId) {
  std::wstring picked;
  switch (commandId) {
    case IDCANCEL:
      OnCancel(dialog, state);
      return true;
    case IDC_DISC_BROWSE:
      if (PickDiscImage(dialog, picked)) SetDlgItemTextW(dialog, IDC_DISC_PATH, picked.c_str());
      return true;
    case IDC_FOLDER_BROWSE:
      if (PickFolder(dialog, picked))
        SetDlgItemTextW(dialog, IDC_FOLDER_PATH, (picked + L"\\" + kGameFolderName).c_str());
      return true;
    case IDC_INSTALL:
      OnInstall(dialog, state);
      return true;
    default:
      return false;
  }
}

}  // namespace tf
