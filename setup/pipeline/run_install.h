#pragma once
// The install pipeline: every step of one install, in order.
#include <string>

#include "common/install_reporter.h"

namespace tf {

// What the user chose for an install, as the dialog or the command line gave it.
struct InstallChoices {
  std::wstring discImagePath;
  std::wstring installFolder;
  bool desktopShortcut = true;
  bool startMenuShortcut = true;
  bool buildAndroid = false;
  // A new Android signing key goes to the raw form (the entry reads TF_APK_NO_PFX).
  bool noPfxExport = false;
};

// The whole install, step by step, each reporting through `reporter`; true
// only when "Done." was reached.
bool RunInstall(InstallReporter& reporter, const InstallChoices& choices);

}  // namespace tf
