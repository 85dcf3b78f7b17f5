#include "common/folder_walk.h"

#include "common/text.h"
#include "common/win32_handle.h"

namespace tf {

namespace {

// Whether the folder or file at `path` (links followed) is at `expectedFinal`.
bool IsAt(const std::wstring& path, const std::wstring& expectedFinal) {
  const std::wstring actual = FinalPathOfPath(path);
  return !actual.empty() && SameNameNoCase(actual, expectedFinal);
}

class Walker {
 public:
  Walker(const std::function<WalkAction(const WalkEntry&)>& visit, const WalkOptions& options)
      : visit_(visit), options_(options) {}

  WalkResult Run(const std::wstring& root) {
    path_ = root;
    final_ = FinalPathOfPath(root);
    if (final_.empty()) return {WalkEnd::CannotList, root, GetLastError()};
    rootLength_ = root.size();
    List(1);
    return result_;
  }

 private:
  // Lists path_, whose entries are at `depth`; false once the walk ends early.
  bool List(int depth) {
    WIN32_FIND_DATAW found;
    UniqueFind find(options_.listing.findFirst((path_ + L"\\*").c_str(), &found));
    if (!find) return End(WalkEnd::CannotList, GetLastError());
    do {
      if (IsDotEntry(found.cFileName)) continue;
      if (++entries_ > options_.maxEntries) return End(WalkEnd::TooMany, 0);
      const size_t pathLength = path_.size(), finalLength = final_.size();
      path_.append(L"\\").append(found.cFileName);
      final_.append(L"\\").append(found.cFileName);
      if (!Visit(found, depth)) return false;
      path_.resize(pathLength);
      final_.resize(finalLength);
    } while (options_.listing.findNext(find.Get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES && error != ERROR_SUCCESS) return End(WalkEnd::CannotList, error);
    return true;
  }

  bool Visit(const WIN32_FIND_DATAW& found, int depth) {
    WalkEntry entry;
    entry.path = path_;
    entry.relative = std::wstring_view(path_).substr(rootLength_ + 1);
    entry.name = found.cFileName;
    entry.attributes = found.dwFileAttributes;
    entry.depth = depth;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder) entry.size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    entry.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!entry.isLink && (folder || options_.checkFiles)) entry.isLink = !IsAt(path_, final_);
    entry.isFolder = folder && !entry.isLink;
    const WalkAction action = visit_(entry);
    if (action == WalkAction::Stop) return End(WalkEnd::Stopped, 0);
    if (!entry.isFolder || action == WalkAction::SkipFolder) return true;
    if (depth + 1 > options_.maxDepth) return End(WalkEnd::TooDeep, 0);
    if (List(depth + 1)) return true;
    if (result_.end != WalkEnd::CannotList || !options_.passOverUnlistable) return false;
    result_ = {};
    return true;
  }

  bool End(WalkEnd end, DWORD error) {
    result_ = {end, path_, error};
    return false;
  }

  const std::function<WalkAction(const WalkEntry&)>& visit_;
  const WalkOptions& options_;
  WalkResult result_;
  std::wstring path_, final_;
  size_t rootLength_ = 0;
  uint64_t entries_ = 0;
};

}  // namespace

WalkResult WalkFolder(const std::wstring& root, const std::function<WalkAction(const WalkEntry&)>& visit,
                      const WalkOptions& options) {
  return Walker(visit, options).Run(root);
}

std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(n);
  }
}

std::wstring FinalPathOfPath(const std::wstring& path) {
  UniqueFile handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return {};
  return FinalPathOf(handle.Get());
}

bool ConfinedFolder::Open(const std::wstring& root) {
  root_ = root;
  while (root_.size() > 3 && root_.back() == L'\\') root_.pop_back();
  final_ = FinalPathOfPath(root_);
  while (!final_.empty() && final_.back() == L'\\') final_.pop_back();
  return !final_.empty();
}

bool ConfinedFolder::Holds(std::wstring_view relative) const {
  if (final_.empty()) return false;
  if (relative.empty()) return IsAt(root_, final_);
  const std::wstring path = root_ + L"\\" + std::wstring(relative);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  return IsAt(path, final_ + L"\\" + std::wstring(relative));
}

ConfinedFolder::Made ConfinedFolder::CreateFolders(std::wstring_view relative) const {
  if (final_.empty()) return Made::CannotCreate;
  for (size_t end = 0; end != std::wstring_view::npos && end < relative.size();) {
    end = relative.find(L'\\', end + 1);
    const std::wstring_view level = relative.substr(0, end);
    const std::wstring path = root_ + L"\\" + std::wstring(level);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Made::CannotCreate;
      attributes = GetFileAttributesW(path.c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Made::CannotCreate;
    if (!Holds(level)) return Made::LeadsOut;
  }
  return Made::Ok;
}

}  // namespace tf
