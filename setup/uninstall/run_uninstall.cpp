#include "uninstall/run_uninstall.h"

#include <commctrl.h>
#include <shlobj.h>

#include "common/ascii.h"
#include "common/game_edition.h"
#include "common/install_folder.h"
#include "common/known_folders.h"
#include "common/modal_dialog.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"
#include "resources/uninstall_dialog_ids.h"
#include "uninstall/cleanup_command.h"
#include "uninstall/delete_tree.h"
#include "uninstall/removal_checks.h"
#include "uninstall/uninstall_dialog.h"
#include "uninstall/uninstall_log.h"

namespace tf {

namespace {

void ShowProgress(HWND window, int percent) {
  if (!window) return;
  SendDlgItemMessageW(window, IDC_UNINSTALL_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  // The removal runs inside the button handler: paint what changed now.
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Logs what is left of the tree; true when nothing is.
bool StillThere(const std::wstring& left) {
  if (left.empty()) return true;
  WriteUninstallLog(L"    left: \"%s\"", left.c_str());
  return false;
}

// The per-user folder (saved settings, the signing key); true when it is gone.
bool RemoveUserFolder() {
  const std::wstring local = KnownFolderPath(FOLDERID_LocalAppData);
  if (local.empty()) return true;
  const std::wstring user = local + L"\\" + kUserFolderName;
  DeleteTree(user, false);
  return StillThere(GetFileAttributesW(user.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : user);
}

// The shortcuts, from every folder an install may have put them in.
void RemoveShortcuts() {
  auto remove = [](const KNOWNFOLDERID* id) {
    const std::wstring folder = KnownFolderPath(*id);
    if (!folder.empty()) DeleteFileW((folder + L"\\" + kShortcutName).c_str());
  };
  remove(kShortcutFolders.desktop);
  for (const KNOWNFOLDERID* id : kShortcutFolders.startMenu) remove(id);
}

}  // namespace

std::wstring ReadInstallLocation() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return {};
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.Get(), kInstallLocationValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    return {};
  if (size == sizeof(value) && value[MAX_PATH - 1] != L'\0') return {};  // no room for the terminator
  return value;
}

UninstallOutcome RunUninstall(const UninstallState& state, HWND window) {
  const std::wstring& folder = state.uninstallFolder;
  const bool keepSaves = !state.alsoSaves;
  WriteUninstallLog(L"--- uninstall: dir=\"%s\" alsoSaves=%d", folder.c_str(), state.alsoSaves ? 1 : 0);

  // The folder was accepted before the dialog; it may have changed since.
  if (!IsInstallFolder(folder)) {
    WriteUninstallLog(L"    REFUSED to delete \"%s\" -- not an install folder", folder.c_str());
    return UninstallOutcome::Refused;
  }
  const std::wstring inUse = FirstFileInUse(folder, keepSaves, state.programPath);
  if (!inUse.empty()) {
    WriteUninstallLog(L"    in use: \"%s\" -- nothing removed", inUse.c_str());
    return UninstallOutcome::InUse;
  }

  // What lets the uninstaller run again stays until everything else is gone.
  std::vector<std::wstring> kept;
  if (IsDirectlyIn(state.programPath, folder)) kept.emplace_back(FileNameOf(state.programPath));
  std::vector<std::wstring> keptWithMarkers = kept;
  keptWithMarkers.insert(keptWithMarkers.end(), {kRuntimeLibraryName, kGameExecutableName});

  DeleteTree(folder, keepSaves, keptWithMarkers);
  const bool present = GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  WriteUninstallLog(L"    tree deleted; dir still present = %d", present ? 1 : 0);
  ShowProgress(window, 40);
  if (!StillThere(FirstLeftover(folder, keepSaves, keptWithMarkers)) ||
      (state.alsoSaves && !RemoveUserFolder()))
    return UninstallOutcome::Incomplete;

  const LSTATUS entry = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
  if (entry != ERROR_SUCCESS && entry != ERROR_FILE_NOT_FOUND) {
    WriteUninstallLog(L"    the uninstall entry could not be deleted, err %lu", static_cast<DWORD>(entry));
    return UninstallOutcome::Incomplete;
  }
  ShowProgress(window, 55);

  DeleteTree(folder, keepSaves, kept);  // the markers
  if (!StillThere(FirstLeftover(folder, keepSaves, kept))) return UninstallOutcome::Incomplete;
  ShowProgress(window, 70);
  RemoveShortcuts();
  ShowProgress(window, 100);
  CleanUpAfterExit(folder, state.programPath);
  return UninstallOutcome::Removed;
}

int RunUninstallMode(const std::wstring& programPath, const std::wstring& commandTail, HINSTANCE instance) {
  std::wstring folder(ParentFolderOf(programPath));
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

  if (HasSwitch(commandTail, L"/quiet")) return RunUninstall(state, nullptr) == UninstallOutcome::Removed ? 0 : 1;
  const INT_PTR ended = RunModalDialog(instance, IDD_UNINSTALL, UninstallDialogProc, state, kGameTitle, L"uninstall");
  return ended == 1 ? 0 : 1;
}

}  // namespace tf
