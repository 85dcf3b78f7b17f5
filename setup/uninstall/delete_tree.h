#pragma once
// Removing a folder tree as far as it can, silently, sparing save folders.
#include <string>

namespace tf {

// Depth-first, in enumeration order: files are deleted (read-only, hidden and
// system ones too), folders emptied and removed; with `keepSaves` a folder
// named "_SAVES" (any case) is left untouched, and so are the folders above
// it. What cannot be deleted stays; only a folder that cannot be enumerated
// is logged.
//
// The walk never leaves the tree: every entry is acted on only through a
// handle whose final path is the one its place in the tree implies. A
// junction or symbolic link is removed as the link itself where the system
// opens links as such (Windows), and left where it does not (Wine, whose
// Unix links lead to their targets); it is never entered. An entry whose final
// path cannot be told (Wine tells none beyond MAX_PATH) stays.
void DeleteTree(const std::wstring& folder, bool keepSaves);

}  // namespace tf
