// DeleteTree on real trees: save folders, attributes, files in use, folders
// that cannot be enumerated, and links that lead out of the tree.
#include "uninstall/delete_tree.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include "unix_side.h"
#include "uninstall_test_support.h"

namespace tf {
namespace {

using test::ListTree;
using test::MakeTree;
using test::ReadText;
using test::TempDir;
using test::TempFolderOverride;
using List = std::vector<std::wstring>;

TEST(DeleteTree, SaveFoldersStayWithTheirParentsWhenKeptAndGoOtherwise) {
  struct Case {
    const wchar_t* saveName;
    bool keepSaves;
    bool kept;
  } cases[] = {
      {L"_saves", true, true},   {L"_SAVES", true, true},       {L"_SaVeS", true, true},
      {L"_saves", false, false}, {L"_saves_old", true, false}, {L"saves", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(test::Utf8(c.saveName) + (c.keepSaves ? " keep" : " delete"));
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    const std::wstring root = dir / L"game", save = c.saveName;
    MakeTree(root, {L"a.txt", L"GFX\\x.bin", L"GFX\\other\\y.bin", L"AUD\\z.bin", L"AUD\\_SAVES", L"empty\\"});
    MakeTree(root + L"\\GFX\\" + save, {L"slot1.sav", L"deep\\d.sav", L"deep\\empty\\"});
    DeleteTree(root, c.keepSaves);
    if (c.kept) {
      // A file named _SAVES is no save folder.
      EXPECT_EQ(ListTree(root), test::Sorted({L"GFX\\", L"GFX\\" + save + L"\\", L"GFX\\" + save + L"\\slot1.sav",
                                             L"GFX\\" + save + L"\\deep\\", L"GFX\\" + save + L"\\deep\\d.sav",
                                             L"GFX\\" + save + L"\\deep\\empty\\"}));
    } else {
      EXPECT_FALSE(test::FileExists(root)) << test::Utf8(ListTree(root).empty() ? L"" : ListTree(root)[0]);
    }
    EXPECT_EQ(ReadText(dir / L"tf_uninstall.log"), "");
  }
}

TEST(DeleteTree, ReadOnlyHiddenAndSystemFilesAreRemoved) {
  TempDir dir;
  const std::wstring root = dir / L"game";
  MakeTree(root, {L"ro.txt", L"hidden.txt", L"system.txt", L"all.txt", L"sub\\ro.txt"});
  const struct {
    const wchar_t* name;
    DWORD attributes;
  } files[] = {{L"ro.txt", FILE_ATTRIBUTE_READONLY},
               {L"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
               {L"system.txt", FILE_ATTRIBUTE_SYSTEM},
               {L"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
               {L"sub\\ro.txt", FILE_ATTRIBUTE_READONLY}};
  for (const auto& f : files) ASSERT_TRUE(SetFileAttributesW((root + L"\\" + f.name).c_str(), f.attributes));
  DeleteTree(root, true);
  EXPECT_FALSE(test::FileExists(root)) << ListTree(root).size();
}

TEST(DeleteTree, AFileOpenWithoutDeleteSharingStaysWithEveryFolderAboveIt) {
  TempDir dir;
  TempFolderOverride temp(dir.Path());
  const std::wstring root = dir / L"game";
  MakeTree(root, {L"A\\B\\held.txt", L"A\\B\\other.txt", L"A\\sibling.txt", L"A\\C\\c.txt", L"top.txt"});
  HANDLE held = CreateFileW((root + L"\\A\\B\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DeleteTree(root, false);
  EXPECT_EQ(ListTree(root), (List{L"A\\", L"A\\B\\", L"A\\B\\held.txt"}));
  EXPECT_EQ(ReadText(dir / L"tf_uninstall.log"), "");  // no error is reported
  CloseHandle(held);
  DeleteTree(root, false);
  EXPECT_FALSE(test::FileExists(root));
}

// Held open without any sharing, a folder cannot be enumerated (Wine honours
// share modes on folders, not deny ACLs, and its tests run as root, for whom
// Unix permissions do not count).
TEST(DeleteTree, AFolderThatCannotBeEnumeratedIsLoggedWithItsErrorAndStays) {
  const struct {
    const wchar_t* locked;  // relative to the root; "" for the root itself
    List left;
  } cases[] = {
      {L"", List{L"A\\", L"A\\locked\\", L"A\\locked\\f.txt", L"A\\x.txt", L"b.txt"}},
      {L"\\A\\locked", List{L"A\\", L"A\\locked\\", L"A\\locked\\f.txt"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    const std::wstring root = dir / L"game", locked = root + c.locked;
    SCOPED_TRACE(test::Utf8(locked));
    MakeTree(root, {L"A\\locked\\f.txt", L"A\\x.txt", L"b.txt"});
    HANDLE lock = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    DeleteTree(root, false);
    CloseHandle(lock);
    EXPECT_EQ(ReadText(dir / L"tf_uninstall.log"),
              "    FindFirstFile(\"" + test::Utf8(locked) + "\\*\") failed, err 32\r\n");  // a sharing violation
    EXPECT_EQ(ListTree(root), c.left);
  }
  TempDir dir;
  TempFolderOverride temp(dir.Path());
  DeleteTree(dir / L"missing", false);
  const std::string line = ReadText(dir / L"tf_uninstall.log");
  EXPECT_EQ(line.rfind("    FindFirstFile(\"" + test::Utf8(dir / L"missing") + "\\*\") failed, err ", 0), 0u) << line;
}

// ---- links ----------------------------------------------------------------

bool IsLink(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  HANDLE h = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::wstring substitute = L"\\??\\" + target;
  struct {
    DWORD tag;
    WORD dataLength, reserved, substituteOffset, substituteLength, printOffset, printLength;
    wchar_t path[1024];
  } data{};
  data.tag = IO_REPARSE_TAG_MOUNT_POINT;
  data.substituteLength = static_cast<WORD>(substitute.size() * 2);
  data.printOffset = static_cast<WORD>(data.substituteLength + 2);
  wmemcpy(data.path, substitute.c_str(), substitute.size());
  data.dataLength = static_cast<WORD>(8 + data.substituteLength + 4);
  DWORD got = 0;
  BOOL ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &data, 8 + data.dataLength, nullptr, 0, &got, nullptr);
  CloseHandle(h);
  if (!ok) RemoveDirectoryW(link.c_str());
  return ok && IsLink(link);
}

bool MakeSymbolicLink(const std::wstring& link, const std::wstring& target, bool folder) {
  const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  // Wine's CreateSymbolicLinkW reports success and makes nothing.
  return CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) && IsLink(link);
}

bool MakeUnixLink(const std::wstring& link, const std::wstring& target, const std::wstring& scratch) {
  const std::string unixTarget = test::UnixPathOf(target), unixLink = test::UnixPathOf(link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  return test::RunUnixShell("ln -s '" + unixTarget + "' '" + unixLink + "'", scratch) && test::FileExists(link);
}

// Removes a link left in the tree without following it (the test's own
// clean-up follows links).
void Unlink(const std::wstring& link, const std::wstring& scratch) {
  const std::string unixLink = test::UnixPathOf(link);
  if (!unixLink.empty()) {
    test::RunUnixShell("rm -f '" + unixLink + "'", scratch);
    return;
  }
  if (!RemoveDirectoryW(link.c_str())) DeleteFileW(link.c_str());
}

TEST(DeleteTree, NeverLeavesTheTreeThroughALink) {
  enum Kind { Junction, FolderSymlink, FileSymlink, UnixToFolder, UnixToFile, UnixToEmptyFolder, UnixLoop };
  const struct {
    Kind kind;
    const char* what;
  } kinds[] = {{Junction, "junction"},
               {FolderSymlink, "directory symbolic link"},
               {FileSymlink, "file symbolic link"},
               {UnixToFolder, "Unix link to a folder"},
               {UnixToFile, "Unix link to a file"},
               {UnixToEmptyFolder, "Unix link to an empty folder"},
               {UnixLoop, "Unix link to the tree's own root"}};
  int made = 0;
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.what);
    TempDir dir;
    const std::wstring outside = dir / L"outside", empty = dir / L"outside_empty", root = dir / L"game";
    MakeTree(outside, {L"canary.txt", L"inner\\canary2.txt"});
    CreateDirectoryW(empty.c_str(), nullptr);
    MakeTree(root, {L"plain.txt", L"GFX\\x.bin"});
    const std::wstring link = root + L"\\GFX\\link";
    bool ok = false;
    switch (k.kind) {
      case Junction: ok = MakeJunction(link, outside); break;
      case FolderSymlink: ok = MakeSymbolicLink(link, outside, true); break;
      case FileSymlink: ok = MakeSymbolicLink(link, outside + L"\\canary.txt", false); break;
      case UnixToFolder: ok = MakeUnixLink(link, outside, dir.Path()); break;
      case UnixToFile: ok = MakeUnixLink(link, outside + L"\\canary.txt", dir.Path()); break;
      case UnixToEmptyFolder: ok = MakeUnixLink(link, empty, dir.Path()); break;
      case UnixLoop: ok = MakeUnixLink(link, root, dir.Path()); break;
    }
    if (!ok) {
      std::printf("DeleteTree link test: no %s can be made here\n", k.what);
      continue;
    }
    ++made;
    DeleteTree(root, false);
    EXPECT_EQ(ReadText(outside + L"\\canary.txt"), "canary.txt");
    EXPECT_EQ(ListTree(outside), (List{L"canary.txt", L"inner\\", L"inner\\canary2.txt"}));
    EXPECT_TRUE(test::FileExists(empty));
    // Everything but the link is gone; the link itself is gone or left as it was.
    const List left = ListTree(root);
    EXPECT_TRUE(left.empty() || left == (List{L"GFX\\", L"GFX\\link"}) || left == (List{L"GFX\\", L"GFX\\link\\"}))
        << test::Utf8(left.empty() ? L"" : left.back());
    if (test::FileExists(link) || IsLink(link)) Unlink(link, dir.Path());
  }
  // Wine makes Unix links; Windows makes junctions and symbolic links.
  EXPECT_GE(made, 3);
}

}  // namespace
}  // namespace tf
