#include "pipeline/run_install.h"

#include "android/android_app.h"
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

bool FailWith(InstallReporter& reporter, const std::string& errorText) {
  return reporter.Fail(Widen(errorText, CP_ACP));
}

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

}  // namespace

bool RunInstall(InstallReporter& reporter, const InstallChoices& choices) {
  XdvdfsImage image;  // closed on every return
  std::string errorText;

  reporter.Report(1, L"Reading the disc image\u2026");
  if (!image.Open(choices.discImagePath, errorText)) return FailWith(reporter, errorText);

  if (image.VolumeTimestamp() != kGameVolumeTimestamp) return reporter.Fail(L"That disc image is not Tarnfell.");

  GameSelection selection = SelectGameFiles(image.Entries());

  if (!IsRetailImage(image.FileCount(), image.TotalFileBytes())) {
    reporter.Report(2, L"Note: this image does not exactly match a retail disc; continuing\u2026");
    Sleep(kRetailNotePauseMs);
  }

  std::wstring refusal;
  if (!CheckInstallFolder(choices.installFolder, refusal)) return reporter.Fail(refusal);
  if (!CheckFreeSpace(reporter, choices.installFolder, selection.bytes)) return false;

  reporter.Report(3, L"Creating the install folder\u2026");
  if (!CreateFolderChain(choices.installFolder))
    return reporter.Fail(L"Could not create the install folder. Try a different location.");

  if (!image.ExtractFiles(selection.entries, choices.installFolder, CopyProgress, &reporter, errorText))
    return FailWith(reporter, errorText);

  reporter.Report(86, L"Installing the game runtime\u2026");
  if (!WriteRuntimePayload(choices.installFolder, 1280, 720, 0, errorText)) return FailWith(reporter, errorText);

  RemoveLeftovers(choices.installFolder);

  reporter.Report(90, L"Preparing RAVU RIZO assets\u2026");
  xmf::MeatRushResult arenas = xmf::PrepareMeatRush(choices.installFolder);
  if (arenas.failed != 0)
    return reporter.Fail(L"The game files could not be prepared: " + Widen(arenas.message, CP_ACP));

  if (choices.buildAndroid) {
    reporter.Report(90, L"Building the Android app\u2026");
    std::wstring failureText;
    if (!android::BuildAndroidApp(reporter, choices.installFolder, failureText))
      return reporter.Fail(android::AndroidFailureMessage(failureText));
  }

  reporter.Report(97, L"Creating shortcuts\u2026");
  CopyUninstallerAndCreateShortcuts(choices.installFolder, choices.desktopShortcut, choices.startMenuShortcut);

  reporter.Report(99, L"Registering with Add or remove programs\u2026");
  RegisterUninstall(choices.installFolder, UninstallerPath(choices.installFolder));

  reporter.Report(100, L"Done.");
  return true;
}

}  // namespace tf
