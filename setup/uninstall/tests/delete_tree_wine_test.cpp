// DeleteTree on real trees: save folders, attributes, files in use, folders
// that cannot be enumerated, and links that lead out of the tree.
#include "uninstall/delete_tree.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "uninstall_test_support.h"
#include "unix_side.h"

namespace tf {
namespace {

using test::ListTree;
using test::MakeTree;
using test::ReadText;
using test::PrivateTempDir;
using test::TempDir;
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
    PrivateTempDir dir;
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
  PrivateTempDir dir;
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
    PrivateTempDir dir;
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
  PrivateTempDir dir;
  DeleteTree(dir / L"missing", false);
  const std::string line = ReadText(dir / L"tf_uninstall.log");
  EXPECT_EQ(line.rfind("    FindFirstFile(\"" + test::Utf8(dir / L"missing") + "\\*\") failed, err ", 0), 0u) << line;
}

// Wine makes neither junctions nor symbolic links (CreateSymbolicLinkW reports
// success and makes nothing, FSCTL_SET_REPARSE_POINT is not supported): its
// links are Unix ones, made here through the Unix side. It shows a link to a
// folder as a folder with the reparse attribute, a link to a file as a plain
// file, and deletes a link's target, not the link, through a handle.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target, const std::wstring& scratch) {
  const std::string unixTarget = test::UnixPathOf(target), unixLink = test::UnixPathOf(link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  return test::RunUnixShell("ln -s '" + unixTarget + "' '" + unixLink + "'", scratch) && test::FileExists(link);
}

TEST(DeleteTree, NeverLeavesTheTreeThroughALink) {
  const struct {
    const char* what;
    const wchar_t* target;  // relative to the test's folder
  } kinds[] = {{"Unix link to a folder", L"outside"},
               {"Unix link to a file", L"outside\\canary.txt"},
               {"Unix link to an empty folder", L"outside_empty"},
               {"Unix link to the tree's own root", L"game"}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.what);
    PrivateTempDir dir;
    const std::wstring outside = dir / L"outside", empty = dir / L"outside_empty", root = dir / L"game";
    MakeTree(outside, {L"canary.txt", L"inner\\canary2.txt"});
    CreateDirectoryW(empty.c_str(), nullptr);
    MakeTree(root, {L"plain.txt", L"GFX\\x.bin"});
    const std::wstring link = root + L"\\GFX\\link";
    ASSERT_TRUE(MakeUnixLink(link, dir / k.target, dir.Path()));
    DeleteTree(root, false);
    EXPECT_EQ(ReadText(outside + L"\\canary.txt"), "canary.txt");
    EXPECT_EQ(ListTree(outside), (List{L"canary.txt", L"inner\\", L"inner\\canary2.txt"}));
    EXPECT_TRUE(test::FileExists(empty));
    EXPECT_EQ(ReadText(dir / L"tf_uninstall.log"), "");
    // Everything but the link is gone; the link is left as it was.
    const List left = ListTree(root);
    EXPECT_TRUE(left == (List{L"GFX\\", L"GFX\\link"}) || left == (List{L"GFX\\", L"GFX\\link\\"}))
        << left.size();
    // The test's own clean-up would follow the link: it goes on the Unix side.
    test::RunUnixShell("rm -f '" + test::UnixPathOf(link) + "'", dir.Path());
  }
}

// Swaps one folder for a link to a folder outside the tree the moment the
// walk is about to enter it, and notes which folders the walk entered.
class SwapOnEntering : public TreeWalkObserver {
 public:
  SwapOnEntering(std::wstring folder, std::wstring target, std::wstring scratch)
      : folder_(std::move(folder)), target_(std::move(target)), scratch_(std::move(scratch)) {}
  void Entering(const std::wstring& path) override {
    if (path != folder_ || swapped_) return;
    swapped_ = MoveFileW(folder_.c_str(), (folder_ + L".moved").c_str()) && MakeUnixLink(folder_, target_, scratch_);
  }
  void Entered(const std::wstring& path) override { entered_.push_back(path); }
  bool Swapped() const { return swapped_; }
  bool WasEntered(const std::wstring& path) const {
    return std::find(entered_.begin(), entered_.end(), path) != entered_.end();
  }

 private:
  std::wstring folder_, target_, scratch_;
  std::vector<std::wstring> entered_;
  bool swapped_ = false;
};

// Listed as a plain folder, then swapped for a link before the walk goes in:
// the folder the walk would enter is not where the tree says, and it stays out.
TEST(DeleteTree, AFolderSwappedForALinkOnTheWayInIsNotEntered) {
  PrivateTempDir dir;
  const std::wstring outside = dir / L"outside", root = dir / L"game";
  MakeTree(outside, {L"canary.txt", L"inner\\canary2.txt"});
  MakeTree(root, {L"plain.txt", L"GFX\\x.bin", L"GFX\\sub\\y.bin", L"AUD\\z.bin"});
  SwapOnEntering swap(root + L"\\GFX", outside, dir.Path());
  DeleteTree(root, false, swap);
  ASSERT_TRUE(swap.Swapped());
  EXPECT_EQ(ListTree(outside), (List{L"canary.txt", L"inner\\", L"inner\\canary2.txt"}));
  EXPECT_TRUE(swap.WasEntered(root));
  EXPECT_TRUE(swap.WasEntered(root + L"\\AUD"));
  EXPECT_FALSE(swap.WasEntered(root + L"\\GFX"));
  EXPECT_FALSE(swap.WasEntered(root + L"\\GFX\\inner"));
  EXPECT_FALSE(test::FileExists(root + L"\\plain.txt"));
  EXPECT_FALSE(test::FileExists(root + L"\\AUD"));
  test::RunUnixShell("rm -f '" + test::UnixPathOf(root + L"\\GFX") + "'", dir.Path());
}

// A drive's top folder, however written, is refused whole.
TEST(DeleteTree, ADriveRootIsNeverWalked) {
  PrivateTempDir dir;
  const std::wstring target = dir / L"drive";
  MakeTree(target, {L"a.txt", L"GFX\\x.bin", L"GFX\\empty\\"});
  const List before = ListTree(target);
  test::MappedDrive drive(target, dir.Path());
  ASSERT_FALSE(drive.Root().empty()) << "no spare drive letter could be mapped";
  const std::wstring letter = drive.Root().substr(0, 2);
  std::string log;
  for (const std::wstring& root : {letter + L"\\", letter, letter + L"\\\\", letter + L"\\GFX\\.."}) {
    SCOPED_TRACE(test::Utf8(root));
    DeleteTree(root, false);
    EXPECT_EQ(ListTree(target), before);
    log += "    REFUSED to delete \"" + test::Utf8(root) + "\" -- the top folder of a drive\r\n";
  }
  EXPECT_EQ(ReadText(dir / L"tf_uninstall.log"), log);
}

}  // namespace
}  // namespace tf
