#pragma once
// Removing a folder tree as far as it can, silently, sparing save folders.
#include <string>
#include <vector>

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
//
// Entries at the top of the tree named in `keepAtTop` (any case) stay.
//
// A drive's or a network share's top folder is refused whole (a log line).
void DeleteTree(const std::wstring& folder, bool keepSaves, const std::vector<std::wstring>& keepAtTop = {});

// Told of the walk's steps as they happen (tests watch a walk through it).
class TreeWalkObserver {
 public:
  // A folder found in the tree is about to be entered.
  virtual void Entering(const std::wstring& path) = 0;
  // A folder was entered (the root too): its entries are handled next.
  virtual void Entered(const std::wstring& path) = 0;

 protected:
  ~TreeWalkObserver() = default;
};
void DeleteTree(const std::wstring& folder, bool keepSaves, TreeWalkObserver& observer);

}  // namespace tf
