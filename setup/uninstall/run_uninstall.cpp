#include "uninstall/run_uninstall.h"

#include <commctrl.h>
#include <shlobj.h>

#include "common/ascii.h"
#include "common/install_folder.h"
#include "common/install_names.h"
#include "common/known_folders.h"
#include "common/modal_dialog.h"
#include "common/win32_handle.h"
#include "resources/uninstall_dialog_ids.h"
#include "uninstall/cleanup_command.h"
#include "uninstall/delete_tree.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall/uninstall_log.h"

namespace tf {

namespace {

const KNOWNFOLDERID* const kShortcutFolders[] = {&FOLDERID_Desktop, &FOLDERID_CommonPrograms, &FOLDERID_Programs};

constexpr wchar_t kNotFoundText[] =
    L"This uninstaller could not find the installed game.\n\nNothing has been changed. Run the uninstaller from "
    L"inside the game's own folder, or use Settings > Apps.";

void ShowProgress(HWND window, int percent) {
  if (!window) return;
  SendDlgItemMessageW(window, IDC_UNINSTALL_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  // The removal runs inside the button handler: paint what changed now.
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace

std::wstring ReadInstallLocation() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return {};
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.Get(), L"InstallLocation", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    return {};
  if (size == sizeof(value) && value[MAX_PATH - 1] != L'\0') return {};  // no room for the terminator
  return value;
}

void RunUninstall(const UninstallState& state, HWND window) {
  const std::wstring& folder = state.uninstallFolder;
  WriteUninstallLog(L"--- uninstall: dir=\"%s\" alsoSaves=%d", folder.c_str(), state.alsoSaves ? 1 : 0);

  for (const KNOWNFOLDERID* id : kShortcutFolders) {
    std::wstring shortcuts = KnownFolderPath(*id);
    if (!shortcuts.empty()) DeleteFileW((shortcuts + L"\\" + kShortcutName).c_str());
  }

  ShowProgress(window, 40);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
  ShowProgress(window, 55);

  if (state.alsoSaves) {
    std::wstring local = KnownFolderPath(FOLDERID_LocalAppData);
    if (!local.empty()) DeleteTree(local + L"\\" + kUserFolderName, false);
  }
  ShowProgress(window, 70);

  // The folder was accepted before the dialog; it may have changed since.
  if (!IsInstallFolder(folder)) {
    WriteUninstallLog(L"    REFUSED to delete \"%s\" -- not an install folder", folder.c_str());
    ShowProgress(window, 100);
    return;  // no clean-up either: its command would delete a file there
  }
  DeleteTree(folder, !state.alsoSaves);
  const bool present = GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  WriteUninstallLog(L"    tree deleted; dir still present = %d", present ? 1 : 0);
  ShowProgress(window, 100);

  CleanUpAfterExit(folder, state.programPath);
}

int RunUninstallMode(const std::wstring& programPath, const std::wstring& commandTail, HINSTANCE instance) {
  const size_t slash = programPath.rfind(L'\\');
  std::wstring folder = slash == std::wstring::npos ? std::wstring() : programPath.substr(0, slash);
  if (!IsInstallFolder(folder)) {
    folder = ReadInstallLocation();
    if (!IsInstallFolder(folder)) {
      WriteUninstallLog(L"--- refused: \"%s\" is not an install folder and the registry did not name a valid one",
                        programPath.c_str());
      MessageBoxW(nullptr, kNotFoundText, kGameTitle, MB_ICONWARNING);
      return 1;
    }
  }
  UninstallState state{folder, programPath};

  if (HasSwitch(commandTail, L"/quiet")) {
    RunUninstall(state, nullptr);
    return 0;
  }
  const INT_PTR ended = RunModalDialog(instance, IDD_UNINSTALL, UninstallDialogProc, state, kGameTitle, L"uninstall");
  return ended == 1 ? 0 : 1;
}

}  // namespace tf
