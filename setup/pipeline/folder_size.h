#pragma once
// The size of a folder tree, as the uninstall entry shows it.
#include <cstdint>
#include <string>

namespace tf {

// Everything below `folder` in KiB: each sub-folder's total is rounded down to
// whole KiB before its parent adds it back in bytes. Links are not entered
// and count 0 (the one folder walk's rule); a folder that cannot be listed
// counts 0.
uint64_t FolderSizeKiB(const std::wstring& folder);

}  // namespace tf
