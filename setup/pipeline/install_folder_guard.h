#pragma once
// Where an install may write: a folder that does not exist yet, an empty one,
// an earlier install (by the uninstaller's own test), or one that holds
// nothing at its top level but names an install of the game makes or keeps.
#include <string>

namespace tf {

// Files of older installs that an install removes.
inline constexpr const wchar_t* kLeftoverNames[] = {L"tf_loader.exe", L"PLAY.cmd", L"tf_log.txt"};

inline constexpr wchar_t kDriveRootMessage[] =
    L"The install folder cannot be the top folder of a drive or a network share. Choose a folder inside it.";
inline constexpr wchar_t kOtherFilesMessage[] =
    L"The install folder already holds other files. Choose an empty folder or a new one.";

// False, with one of the two messages above, when an install must not go into
// `folder`. Reads only: a folder that cannot be listed is left to the steps
// that create and write it, which report their own failure.
bool CheckInstallFolder(const std::wstring& folder, std::wstring& message);

}  // namespace tf
