#include "uninstall/delete_tree.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "common/folder_walk.h"
#include "common/install_folder.h"
#include "common/text.h"
#include "common/win32_handle.h"
#include "uninstall/uninstall_log.h"

namespace tf {

namespace {

constexpr DWORD kClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// A file, or a link (to a file or a folder), opened as itself: deleted when
// the handle is where the tree says it is.
UniqueFile OpenAsItself(const std::wstring& path, DWORD access) {
  return UniqueFile(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

void DeleteEntry(const std::wstring& path, const std::wstring& expectedFinal, DWORD attributes) {
  UniqueFile entry = OpenAsItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (!entry && GetLastError() == ERROR_ACCESS_DENIED) entry = OpenAsItself(path, DELETE | FILE_READ_ATTRIBUTES);
  if (!entry || !SameNameNoCase(FinalPathOf(entry.Get()), expectedFinal)) return;
  if (attributes & kClearedAttributes) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(entry.Get(), FileBasicInfo, &basic, sizeof(basic));
  }
  MarkForDeletion(entry.Get());
}

// One folder being walked. `pin` is held without delete sharing, so that the
// folder cannot be renamed or swapped for a link while its entries are
// handled. (A handle with delete access could not coexist with Wine's
// enumeration handle, which does not share delete.)
struct Level {
  UniqueFind find;
  UniqueFile pin;
  WIN32_FIND_DATAW entry{};
  size_t pathLength = 0;
  size_t finalLength = 0;
  bool fresh = true;  // `entry` holds the first entry, not yet handled
};

struct Walk {
  std::wstring path;       // the entry being handled
  std::wstring finalPath;  // where its handle must lead
  std::vector<Level> levels;
  const std::vector<std::wstring>* keepAtTop = nullptr;
  TreeWalkObserver* observer = nullptr;

  bool KeptAtTop(const wchar_t* name) const { return levels.size() == 1 && ContainsName(*keepAtTop, name); }
};

// Starts walking the folder at w.path; for the root, w.finalPath is empty and
// becomes the root's final path. False when it is not to be entered.
bool Enter(Walk& w) {
  Level level;
  level.find.Reset(FindFirstFileW((w.path + L"\\*").c_str(), &level.entry));
  if (!level.find) {
    DWORD error = GetLastError();
    WriteUninstallLog(L"    FindFirstFile(\"%s\\*\") failed, err %lu", w.path.c_str(), error);
    return false;
  }
  level.pin.Reset(CreateFileW(w.path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!level.pin) return false;
  std::wstring actual = FinalPathOf(level.pin.Get());
  if (actual.empty()) return false;
  if (w.levels.empty())
    w.finalPath = actual;
  else if (!SameNameNoCase(actual, w.finalPath))
    return false;  // a link that only showed as a folder (a Unix link under Wine), or a swapped one
  level.pathLength = w.path.size();
  level.finalLength = w.finalPath.size();
  w.levels.push_back(std::move(level));
  if (w.observer) w.observer->Entered(w.path);
  return true;
}

// Removes the folder once its entries are done; it fails while anything stayed inside.
void Leave(Walk& w) {
  Level& level = w.levels.back();
  w.path.resize(level.pathLength);
  w.finalPath.resize(level.finalLength);
  w.levels.pop_back();  // closes the enumeration and the pin
  DeleteEntry(w.path, w.finalPath, 0);
}

void Delete(const std::wstring& folder, bool keepSaves, const std::vector<std::wstring>& keepAtTop,
            TreeWalkObserver* observer) {
  if (IsDriveRoot(folder)) {
    WriteUninstallLog(L"    REFUSED to delete \"%s\" -- the top folder of a drive", folder.c_str());
    return;
  }
  Walk w;
  w.path = folder;
  w.observer = observer;
  w.keepAtTop = &keepAtTop;
  if (!Enter(w)) return;
  while (!w.levels.empty()) {
    Level& top = w.levels.back();
    if (!top.fresh && !FindNextFileW(top.find.Get(), &top.entry)) {
      Leave(w);
      continue;
    }
    top.fresh = false;
    const wchar_t* name = top.entry.cFileName;
    const DWORD attributes = top.entry.dwFileAttributes;
    if (IsDotEntry(name) || w.KeptAtTop(name)) continue;
    w.path.resize(top.pathLength);
    w.path.append(L"\\").append(name);
    w.finalPath.resize(top.finalLength);
    w.finalPath.append(L"\\").append(name);

    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteEntry(w.path, w.finalPath, attributes);
    } else if (keepSaves && SameNameNoCase(name, kSavesFolderName)) {
      // left untouched, with everything in it
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      DeleteEntry(w.path, w.finalPath, attributes);  // the link, never what it leads to
    } else {
      if (w.observer) w.observer->Entering(w.path);
      Enter(w);  // may grow `levels`: `top` is not used after this
    }
  }
}

}  // namespace

void DeleteTree(const std::wstring& folder, bool keepSaves, const std::vector<std::wstring>& keepAtTop) {
  Delete(folder, keepSaves, keepAtTop, nullptr);
}

void DeleteTree(const std::wstring& folder, bool keepSaves, TreeWalkObserver& observer) {
  Delete(folder, keepSaves, {}, &observer);
}

}  // namespace tf
