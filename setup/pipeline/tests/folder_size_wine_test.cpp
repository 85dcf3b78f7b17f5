// FolderSizeKiB on real trees: rounding at each level, hidden files, files
// over 4 GiB, and folders that link back into the tree or out of it.
#include "pipeline/folder_size.h"

#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include "win_test_support.h"

namespace tf {
namespace {

using test::TempDir;

struct TreeFile {
  const wchar_t* path;  // below the tree; parent folders are made
  size_t size;
  DWORD attributes;
};

void MakeFile(const std::wstring& root, const TreeFile& f) {
  std::wstring path = root + L"\\" + f.path;
  for (size_t slash = path.find(L'\\', root.size() + 1); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1))
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  std::vector<char> bytes(f.size, 'x');
  ASSERT_TRUE(test::WriteFileBytes(path, bytes.data(), bytes.size()));
  if (f.attributes) SetFileAttributesW(path.c_str(), f.attributes);
}

TEST(FolderSizeKiB, EachLevelRoundsDownBeforeItsParentAddsIt) {
  const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  struct Case {
    const char* what;
    std::vector<TreeFile> files;
    uint64_t kib;
  } cases[] = {
      {"empty folder", {}, 0},
      {"a file and a sub-folder's file of 1,536 bytes", {{L"a.bin", 1536, 0}, {L"sub\\b.bin", 1536, 0}}, 2},
      {"two sub-folders of 1,023 bytes", {{L"s1\\a.bin", 1023, 0}, {L"s2\\b.bin", 1023, 0}}, 0},
      {"1,023 and 1 bytes side by side", {{L"a.bin", 1023, 0}, {L"b.bin", 1, 0}}, 1},
      {"hidden and system files count", {{L"h.bin", 2048, hiddenSystem}, {L"sub\\r.bin", 1024, FILE_ATTRIBUTE_READONLY}}, 3},
      {"deep folders", {{L"a\\b\\c\\d\\e.bin", 4096, 0}, {L"a\\b\\f.bin", 2560, 0}}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (const TreeFile& f : c.files) MakeFile(dir.Path(), f);
    EXPECT_EQ(FolderSizeKiB(dir.Path()), c.kib);
  }
}

TEST(FolderSizeKiB, WhatCannotBeListedIsZero) {
  TempDir dir;
  ASSERT_TRUE(test::WriteFileBytes(dir / L"file.bin", "abc", 3));
  EXPECT_EQ(FolderSizeKiB(dir / L"missing"), 0u);
  EXPECT_EQ(FolderSizeKiB(dir / L"file.bin"), 0u);
}

TEST(FolderSizeKiB, FilesOver4GiBCountInFull) {
  TempDir dir;
  HANDLE h = CreateFileW((dir / L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD ignored = 0;
  DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = (5ll << 30) + 512;
  EXPECT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
  CloseHandle(h);
  EXPECT_EQ(FolderSizeKiB(dir.Path()), (5ull << 20));
}

// The tree made by make_link_tree.sh before this test (Unix symbolic links,
// which Wine shows as folders): game\ holds 3 KiB and sub\ 1 KiB of files,
// sub\up links to game\, game\self to game\ by its full path, and game\outside
// to a folder beside game\ that holds 1 MiB.
TEST(FolderSizeKiB, LinksToFoldersAreNotEnteredSoALoopEnds) {
  const std::wstring game = test::FromUnixPath(TF_LINK_TREE_DIR) + L"\\game";
  for (const wchar_t* link : {L"\\sub\\up", L"\\self", L"\\outside"}) {
    DWORD attributes = GetFileAttributesW((game + link).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << test::Utf8(link) << ": run make_link_tree.sh first";
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << test::Utf8(link);
  }
  EXPECT_EQ(FolderSizeKiB(game), 4u);
  EXPECT_EQ(FolderSizeKiB(game + L"\\outside"), 1024u);  // the link itself, named directly, is listed
}

// loop\ holds 1 KiB, loop\in\ 2 KiB and a link back to loop\, loop\out
// leads to the 1 MiB beside it: neither link is entered.
TEST(FolderSizeKiB, ALinkBackUpTheTreeEndsNoWalk) {
  const std::wstring loop = test::FromUnixPath(TF_LINK_TREE_DIR) + L"\\loop";
  const DWORD back = GetFileAttributesW((loop + L"\\in\\back").c_str());
  ASSERT_NE(back, INVALID_FILE_ATTRIBUTES) << "run make_link_tree.sh first";
  EXPECT_EQ(FolderSizeKiB(loop), 3u);
  EXPECT_EQ(FolderSizeKiB(loop + L"\\in"), 2u);
}

}  // namespace
}  // namespace tf
