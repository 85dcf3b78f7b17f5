#pragma once
// Where an install may write: a folder that does not exist yet, an empty one,
// an earlier install (by the uninstaller's own test), or one that holds only
// paths an install of the game writes or keeps.
#include <string>
#include <vector>

#include "common/folder_walk.h"
#include "pipeline/game_selection.h"

namespace tf {

inline constexpr wchar_t kDriveRootMessage[] =
    L"The install folder cannot be the top folder of a drive or a network share. Choose a folder inside it.";
inline constexpr wchar_t kOtherFilesMessage[] =
    L"The install folder already holds other files. Choose an empty folder or a new one.";
inline constexpr wchar_t kCannotReadMessage[] = L"The install folder cannot be read. Choose another folder.";

// Every file an install of `selection` writes, replaces (with the temporary
// names of those writes) or removes, relative to the install folder.
std::vector<std::wstring> InstallFilePaths(const GameSelection& selection);

// False, with one of the three messages above, when an install must not go
// into `folder`. A folder that is not an earlier install may hold only the
// files of `installFiles`, the folders on the way to them and anything inside
// a "_SAVES" folder among those; a link anywhere in it, or a folder of it that
// cannot be listed, refuses it. Reads only.
bool CheckInstallFolder(const std::wstring& folder, const std::vector<std::wstring>& installFiles,
                        std::wstring& message, const FolderListing& listing = {});

}  // namespace tf
