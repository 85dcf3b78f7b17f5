#pragma once
// The size of a folder tree, as the uninstall entry shows it.
#include <cstdint>
#include <string>

namespace tf {

// Everything below `folder` in KiB: each sub-folder's total is rounded down to
// whole KiB before its parent adds it back in bytes. A folder that is a
// junction or a symbolic link is not entered and counts 0; a folder reached
// again by another way (a loop the file system does not mark as a link) counts
// 0 the second time. A folder that cannot be listed counts 0.
uint64_t FolderSizeKiB(const std::wstring& folder);

// How the walk treats a folder marked as a junction or symbolic link. Followed
// (for tests of the walk's own stop), a link counts what it leads to, once.
enum class FolderLinks { Skip, Follow };
uint64_t FolderSizeKiB(const std::wstring& folder, FolderLinks links);

}  // namespace tf
