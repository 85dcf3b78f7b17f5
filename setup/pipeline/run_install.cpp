#include "pipeline/run_install.h"

#include "android/android_app.h"
#include "common/folder_walk.h"
#include "common/game_edition.h"
#include "common/install_messages.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "disc/xdvdfs_image.h"
#include "pipeline/free_space.h"
#include "pipeline/game_selection.h"
#include "pipeline/install_folder_guard.h"
#include "pipeline/runtime_payload.h"
#include "pipeline/shortcuts.h"
#include "pipeline/uninstall_registration.h"
#include "xmf/meat_rush.h"

namespace tf {

namespace {

constexpr DWORD kRetailNotePauseMs = 900;
constexpr wchar_t kCannotCreateFolder[] = L"Could not create the install folder. Try a different location.";

// Where a lower layer's message becomes the user's text.
bool FailWith(InstallReporter& reporter, const std::string& errorText) { return reporter.Fail(UserText(errorText)); }

// False (after Fail) when the drive has less room than needed; a drive whose
// free space cannot be read is not checked.
bool CheckFreeSpace(InstallReporter& reporter, const std::wstring& installFolder, uint64_t selectedBytes) {
  std::wstring root = installFolder.substr(0, 3);
  ULARGE_INTEGER available, total, free;
  if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return true;
  uint64_t needed = InstallBytesNeeded(PayloadBytes(), selectedBytes);
  if (available.QuadPart >= needed) return true;
  return reporter.Fail(NotEnoughSpaceMessage(needed));
}

void RemoveLeftovers(const std::wstring& folder) {
  for (const wchar_t* name : kLeftoverNames) {
    std::wstring path = folder + L"\\" + name;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
}

// The folders the arena step writes into, where they exist, lie inside the install folder.
bool ArenaFoldersInside(const std::wstring& folder) {
  ConfinedFolder root;
  if (!root.Open(folder)) return false;
  std::vector<std::wstring> arenas = {kGraphicsFolderName};
  for (const ArenaRow& arena : ArenaTable) arenas.push_back(ArenaFolderPath(arena));
  for (const std::wstring& arena : arenas) {
    if (GetFileAttributesW((folder + L"\\" + arena).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (!root.Holds(arena)) return false;
  }
  return true;
}

// Step 97: the uninstaller must be in place; a shortcut that cannot be made is noted.
bool PlaceUninstallerAndShortcuts(InstallReporter& reporter, const InstallChoices& choices,
                                  const std::wstring& folder) {
  reporter.Report(97, L"Creating shortcuts\u2026");
  DWORD error = 0;
  if (!CopyUninstaller(folder, error))
    return reporter.Fail(L"The uninstaller could not be put in place (error " + std::to_wstring(error) + L").");
  for (const std::wstring& link : CreateShortcuts(folder, choices.desktopShortcut, choices.startMenuShortcut))
    reporter.Report(97, L"Note: the shortcut \"" + link + L"\" could not be created.");
  return true;
}

}  // namespace

bool RunInstall(InstallReporter& reporter, const InstallChoices& choices) {
  XdvdfsImage image;  // closed on every return
  std::string errorText;
  // One form of the folder everywhere (guard, files, shortcuts, registry).
  const std::wstring folder = FullFolderPath(choices.installFolder);

  reporter.Report(1, L"Reading the disc image\u2026");
  if (!image.Open(choices.discImagePath, errorText)) return FailWith(reporter, errorText);

  if (image.VolumeTimestamp() != kGameVolumeTimestamp) return reporter.Fail(L"That disc image is not Tarnfell.");

  GameSelection selection = SelectGameFiles(image.Entries());

  if (!IsRetailImage(image.FileCount(), image.TotalFileBytes())) {
    reporter.Report(2, L"Note: this image does not exactly match a retail disc; continuing\u2026");
    Sleep(kRetailNotePauseMs);
  }

  std::wstring refusal;
  if (folder.empty()) return reporter.Fail(kCannotCreateFolder);
  if (!CheckInstallFolder(folder, InstallFilePaths(selection), refusal)) return reporter.Fail(refusal);
  if (!CheckFreeSpace(reporter, folder, selection.bytes)) return false;

  reporter.Report(3, L"Creating the install folder\u2026");
  if (!CreateFolderChain(folder)) return reporter.Fail(kCannotCreateFolder);

  CopyReport copyReport{reporter};
  if (!image.ExtractFiles(selection.entries, folder, CopyProgress, &copyReport, errorText))
    return FailWith(reporter, errorText);

  reporter.Report(86, L"Installing the game runtime\u2026");
  if (!WriteRuntimePayload(folder, 1280, 720, 0, errorText)) return FailWith(reporter, errorText);

  RemoveLeftovers(folder);

  reporter.Report(90, L"Preparing RAVU RIZO assets\u2026");
  if (!ArenaFoldersInside(folder)) return FailWith(reporter, kMsgInstallFolderLink);
  xmf::MeatRushResult arenas = xmf::PrepareMeatRush(folder);
  if (arenas.failed != 0) return FailWith(reporter, "The game files could not be prepared: " + arenas.message);

  if (choices.buildAndroid) {
    reporter.Report(90, L"Building the Android app\u2026");
    android::KeyStoreOptions keyOptions;
    keyOptions.noPfxExport = choices.noPfxExport;
    if (!android::BuildAndroidApp(reporter, folder, keyOptions, errorText))
      return FailWith(reporter, android::AndroidFailureMessage(errorText));
  }

  if (!PlaceUninstallerAndShortcuts(reporter, choices, folder)) return false;

  reporter.Report(99, L"Registering with Add or remove programs\u2026");
  DWORD error = 0;
  if (!RegisterUninstall(folder, UninstallerPath(folder), error))
    return reporter.Fail(L"The game could not be registered with Add or remove programs (error " +
                         std::to_wstring(error) + L").");

  reporter.Report(100, L"Done.");
  return true;
}

}  // namespace tf
