// Which folders the uninstaller takes for an install folder.
#include "common/install_folder.h"

#include <gtest/gtest.h>

#include "uninstall_test_support.h"

namespace tf {
namespace {

using test::TempDir;

enum class Marker { None, File, Folder };

void Place(const std::wstring& path, Marker m) {
  if (m == Marker::File) test::WriteFileBytes(path, "m", 1);
  if (m == Marker::Folder) CreateDirectoryW(path.c_str(), nullptr);
}

TEST(IsInstallFolder, BothMarkersOfAnyKindAreNeeded) {
  struct Case {
    Marker dll, xbe;
    bool expected;
  } cases[] = {
      {Marker::File, Marker::File, true},     {Marker::File, Marker::None, false},
      {Marker::None, Marker::File, false},    {Marker::None, Marker::None, false},
      {Marker::File, Marker::Folder, true},   {Marker::Folder, Marker::Folder, true},
  };
  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    std::wstring folder = dir / std::to_wstring(n++);
    CreateDirectoryW(folder.c_str(), nullptr);
    Place(folder + L"\\tf_hybrid.dll", c.dll);
    Place(folder + L"\\default.xbe", c.xbe);
    SCOPED_TRACE(n);
    EXPECT_EQ(IsInstallFolder(folder), c.expected);
    // A trailing backslash doubles the one before the marker, which the file system accepts.
    EXPECT_EQ(IsInstallFolder(folder + L"\\"), c.expected);
  }
  EXPECT_FALSE(IsInstallFolder(dir / L"missing"));
}

// Markers at the root of drive C: of the test prefix: "C:\" and "C:" would
// find them, and so would the root written longer, but a path shorter than 4
// characters, and a drive root, is never an install folder.
TEST(IsInstallFolder, ShortPathsAndDriveRootsNeverAre) {
  const std::wstring dll = L"C:\\tf_hybrid.dll", xbe = L"C:\\default.xbe";
  const std::wstring four = L"C:\\\u03A9";
  ASSERT_FALSE(test::FileExists(dll) || test::FileExists(xbe) || test::FileExists(four)) << "left by another run";
  ASSERT_TRUE(test::WriteFileBytes(dll, "m", 1) && test::WriteFileBytes(xbe, "m", 1));
  CreateDirectoryW(four.c_str(), nullptr);
  Place(four + L"\\tf_hybrid.dll", Marker::File);
  Place(four + L"\\default.xbe", Marker::File);

  EXPECT_FALSE(IsInstallFolder(L"C:\\"));
  EXPECT_FALSE(IsInstallFolder(L"C:"));
  EXPECT_FALSE(IsInstallFolder(L""));
  for (const wchar_t* root : {L"C:\\\\", L"C:\\\\\\", L"C://", L"\\\\?\\C:\\", L"C:\\Windows\\.."})
    EXPECT_FALSE(IsInstallFolder(root)) << test::Utf8(root);
  EXPECT_TRUE(IsInstallFolder(four));

  DeleteFileW(dll.c_str());
  DeleteFileW(xbe.c_str());
  test::RemoveTree(four);
}

TEST(IsDriveRoot, TheTopFolderOfADriveOrShareHoweverWritten) {
  const struct {
    const wchar_t* path;
    bool root;
  } cases[] = {
      {L"C:", true},
      {L"C:\\", true},
      {L"C:\\\\\\", true},
      {L"c:/", true},
      {L"\\", true},
      {L"C:\\Windows\\..", true},
      {L"C:\\Windows\\..\\.\\", true},
      {L"\\\\server\\share", true},
      {L"\\\\server\\share\\\\", true},
      {L"\\\\?\\C:", true},
      {L"\\\\?\\C:\\", true},
      {L"\\\\.\\C:\\", true},
      {L"\\\\?\\UNC\\server\\share\\", true},
      {L"\\\\?\\Volume{26a21bda-a627-11d7-9931-806e6f6e6963}\\", true},
      {L"C:\\Games", false},
      {L"C:\\Games\\\\", false},
      {L"C:\\Games\\Tarnfell\\..", false},
      {L"\\\\server\\share\\Games", false},
      {L"\\\\?\\C:\\Games", false},
      {L"\\\\?\\UNC\\server\\share\\Games", false},
      {L"Games", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDriveRoot(c.path), c.root) << test::Utf8(c.path);
}

}  // namespace
}  // namespace tf
