#include "android/android_app.h"

#include <windows.h>
#include <knownfolders.h>

#include "android/package_builder.h"
#include "common/folder_walk.h"
#include "common/game_edition.h"
#include "common/install_messages.h"
#include "common/known_folders.h"
#include "common/running_program.h"
#include "common/win32_file.h"

namespace tf::android {

namespace {

constexpr const char* kReadmePieces[] = {
    "TARNFELL - ANDROID\r\n",
    "==========================================\r\n\r\n",
    "\"Tarnfell.apk\" in this folder is the complete game,\r\n",
    "built from YOUR disc image. Nothing else needs to be copied.\r\n\r\n",
    "TO PLAY\r\n",
    "  1. Copy the .apk to your phone and open it. Android will ask you to allow\r\n",
    "     installing from this source; that is the normal side-load prompt.\r\n",
    "  2. Open the app. The FIRST launch unpacks the game files and takes a short\r\n",
    "     while on a black screen - this happens once.\r\n",
    "  3. Play. Touch controls work; a Bluetooth or USB gamepad also works.\r\n\r\n",
    "WHAT YOUR PHONE NEEDS\r\n",
    "  * 64-bit ARM (arm64-v8a). Any modern chip works - Snapdragon, Exynos, Tensor,\r\n",
    "    Dimensity, Kirin. 32-bit-only phones and x86 emulators are NOT supported.\r\n",
    "  * Android 8.0 or newer, and OpenGL ES 3.0 (universal on 64-bit Android).\r\n",
    "  * About 500 MB free: the app, plus the game files it unpacks on first launch.\r\n\r\n",
    "LAN PLAY WITH THE PC\r\n",
    "  The phone and this PC can play each other over the same Wi-Fi, because both were\r\n",
    "  made by this installer from the same disc image. If a listed game ever shows\r\n",
    "  DIFFERENT VERSION, the two ends were installed from different builds.\r\n\r\n",
    "SAVES\r\n",
    "  The phone keeps its saves in the app's own storage, separate from the PC's, so\r\n",
    "  uninstalling the app removes them.\r\n",
};
static_assert(sizeof(kReadmePieces) / sizeof(kReadmePieces[0]) == 22);

}  // namespace

const std::string& AndroidReadme() {
  static const std::string text = [] {
    std::string t;
    for (const char* piece : kReadmePieces) t += piece;
    return t;
  }();
  return text;
}

std::string AndroidFailureMessage(const std::string& errorText) {
  std::string reason = errorText;
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  return "The Android version could not be built: " + reason + ". The PC game is installed and working.";
}

bool BuildAndroidApp(InstallReporter& reporter, const std::wstring& installFolder, const KeyStoreOptions& keyOptions,
                     std::string& errorText) {
  const uint8_t* templateBytes = nullptr;
  uint32_t templateLength = 0;
  if (!FindProgramResource(TF_RES_APK_TEMPLATE, templateBytes, templateLength) || templateLength == 0) {
    errorText = "this installer was built without the Android template";
    return false;
  }
  const std::wstring localAppData = KnownFolderPath(FOLDERID_LocalAppData);
  if (localAppData.empty()) {
    errorText = "the local app data folder could not be found";
    return false;
  }
  const std::wstring keyFolder = localAppData + L"\\" + kUserFolderName;
  CreateFolderChain(keyFolder);  // without it the key store fails to store the key, and says so
  ConfinedFolder root;
  const std::wstring outputFolder = installFolder + L"\\" + kAndroidFolderName;
  switch (root.Open(installFolder) ? root.CreateFolders(kAndroidFolderName) : ConfinedFolder::Made::CannotCreate) {
    case ConfinedFolder::Made::Ok:
      break;
    case ConfinedFolder::Made::CannotCreate:
      errorText = "the Android folder could not be created";
      return false;
    case ConfinedFolder::Made::LeadsOut:
      errorText = kMsgInstallFolderLink;
      return false;
  }
  const std::wstring packagePath = outputFolder + L"\\" + kPackageFileName;
  if (!BuildAndroidPackage(templateBytes, templateLength, keyFolder + L"\\" + kSigningKeyFileName, installFolder,
                           GamePackNames, kGamePackNameCount, packagePath, BuildProgress, &reporter, errorText,
                           keyOptions)) {
    DeleteFileW(packagePath.c_str());
    return false;
  }
  const std::string& readme = AndroidReadme();
  uint32_t unused = 0;  // a README that cannot be written is not a failure; it is whole or absent
  ReplaceWholeFile(outputFolder + L"\\" + kAndroidReadmeName,
                   std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(readme.data()), readme.size()), unused);
  return true;
}

}  // namespace tf::android
