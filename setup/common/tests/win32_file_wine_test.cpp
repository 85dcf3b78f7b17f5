#include <gtest/gtest.h>

#include "pipeline/folders.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::FileExists;
using test::TempDir;

TEST(CreateFolderChain, CreatesMissingLevels) {
  TempDir dir;
  CreateDirectoryW((dir / L"A").c_str(), nullptr);
  EXPECT_TRUE(CreateFolderChain(dir / L"A\\B\\C"));
  EXPECT_TRUE(FileExists(dir / L"A\\B\\C"));
  EXPECT_TRUE(CreateFolderChain(dir / L"A\\B\\C"));  // all there already
  EXPECT_TRUE(CreateFolderChain(dir / L"X\\Y\\"));   // trailing backslash
  EXPECT_TRUE(FileExists(dir / L"X\\Y"));
}

TEST(CreateFolderChain, AFileInTheWayFails) {
  TempDir dir;
  CreateDirectoryW((dir / L"A").c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(dir / L"A\\B", "x", 1));
  EXPECT_FALSE(CreateFolderChain(dir / L"A\\B\\C"));
  EXPECT_FALSE(FileExists(dir / L"A\\B\\C"));
}

TEST(CreateFolderChain, ShortPathsAndDriveRoots) {
  EXPECT_TRUE(CreateFolderChain(L""));
  EXPECT_TRUE(CreateFolderChain(L"C:"));
  EXPECT_TRUE(CreateFolderChain(L"C:\\"));
}

}  // namespace
}  // namespace tf
