#pragma once
// The install's Android step: the package from the program's own template,
// signed with the user's key, and its README beside it.
#include <string>

#include "android/key_store.h"
#include "common/install_reporter.h"

namespace tf::android {

// Builds installFolder\Android\Tarnfell.apk and its README.txt, reporting
// through BuildProgress with the reporter, the user's key made or read with
// `keyOptions`. False with `errorText` set: the step's own lower-case
// phrases, or the package builder's sentence (after which no package is left
// in the folder).
[[nodiscard]] bool BuildAndroidApp(InstallReporter& reporter, const std::wstring& installFolder,
                                   const KeyStoreOptions& keyOptions, std::string& errorText);

// The README's text: ASCII, CR LF line ends, no byte-order mark.
const std::string& AndroidReadme();

// The install's failure message for a failed Android step. A sentence's own
// full stop is dropped, so that the message does not show two in a row.
std::string AndroidFailureMessage(const std::string& errorText);

}  // namespace tf::android
