#pragma once
// Lists the installed game files that go into the pack, with their archive names.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "android/game_pack.h"
#include "common/folder_walk.h"

namespace tf::android {

// Appends every file found under the first `nameCount` names of `names` in the
// install folder: a name that is a file as itself, a folder with everything
// below it. Missing names are skipped. False (with a sentence naming the item)
// when an item's name does not fit the pack's 260-byte name buffer.
[[nodiscard]] bool CollectGameFiles(const std::wstring& installFolder, const wchar_t* const* names, size_t nameCount,
                                    std::vector<GameFile>& files, std::string& errorText,
                                    const FolderListing& listing = {});

// The walk (common/folder_walk.h: links are neither packed nor entered): each
// item of `folder` as prefix + "/" + its name (a sub-folder's files before the
// folder's later items), dot-names skipped, in the order the listing gives
// them. A folder that cannot be listed adds nothing.
[[nodiscard]] bool CollectFolder(const std::wstring& folder, const std::string& prefix, std::vector<GameFile>& files,
                                 std::string& errorText, const FolderListing& listing = {});

}  // namespace tf::android
