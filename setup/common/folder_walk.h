#pragma once
// One way to walk a folder tree and one way to tell where a folder really is.
//
// The walk never follows a link: an entry that is a reparse point (junction,
// symbolic link, mount point), or a folder or file whose final path is not the
// one its place in the tree implies (a Unix link under Wine shows as a plain
// entry), is reported as a link and never entered. Depth and the number of
// entries are capped.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tf {

// How a folder's items are listed: the system's calls, unless the caller
// passes its own (tests list names, or fail listings, that no file system
// under test can produce).
struct FolderListing {
  HANDLE(WINAPI* findFirst)(LPCWSTR, LPWIN32_FIND_DATAW) = ::FindFirstFileW;
  BOOL(WINAPI* findNext)(HANDLE, LPWIN32_FIND_DATAW) = ::FindNextFileW;
};

struct WalkEntry {
  std::wstring_view path;      // root + "\" + relative
  std::wstring_view relative;  // below the root, backslash-joined
  std::wstring_view name;
  DWORD attributes = 0;
  uint64_t size = 0;  // files only
  int depth = 1;      // 1 for the root's own entries
  bool isFolder = false;  // a folder that is entered unless the visitor skips it
  bool isLink = false;    // never entered, whatever the visitor says
};

enum class WalkAction { Continue, SkipFolder, Stop };

enum class WalkEnd {
  Done,
  Stopped,     // the visitor said Stop
  CannotList,  // a folder (the root too) could not be listed or opened; `path` and `error` say which
  TooDeep,     // a folder lies deeper than maxDepth
  TooMany,     // more than maxEntries entries
};

struct WalkResult {
  WalkEnd end = WalkEnd::Done;
  std::wstring path;
  DWORD error = 0;
};

struct WalkOptions {
  int maxDepth = 64;
  uint64_t maxEntries = 1000000;
  // Also open every file to tell links by their final path (a folder is
  // always checked before it is entered).
  bool checkFiles = false;
  // A folder below the root that cannot be listed is passed over instead of
  // ending the walk.
  bool passOverUnlistable = false;
  FolderListing listing;
};

// "." or "..": what a listing gives beside a folder's own entries.
inline bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Calls `visit` for every entry below `root`, depth first in listing order, a
// folder before what it holds; "." and ".." are left out.
WalkResult WalkFolder(const std::wstring& root, const std::function<WalkAction(const WalkEntry&)>& visit,
                      const WalkOptions& options = {});

// Where an open handle really is (links resolved by whoever opened it); empty
// when unknown.
std::wstring FinalPathOf(HANDLE handle);

// The final path of the folder or file at `path`, links followed; empty when
// it cannot be opened or told.
std::wstring FinalPathOfPath(const std::wstring& path);

// A folder that writes must stay inside: each folder written into is checked,
// before anything goes into it, to be where the tree puts it below the root's
// own final path (no link on the way out of the tree).
class ConfinedFolder {
 public:
  // False when the root does not exist or its final path cannot be told.
  [[nodiscard]] bool Open(const std::wstring& root);
  const std::wstring& Root() const { return root_; }
  // Whether root + "\" + relative exists as a folder at its place in the tree
  // ("" is the root itself).
  [[nodiscard]] bool Holds(std::wstring_view relative) const;
  enum class Made { Ok, CannotCreate, LeadsOut };
  // Creates root + "\" + relative level by level (existing levels kept), each
  // level checked before the next is made inside it.
  [[nodiscard]] Made CreateFolders(std::wstring_view relative) const;

 private:
  std::wstring root_;
  std::wstring final_;
};

}  // namespace tf
