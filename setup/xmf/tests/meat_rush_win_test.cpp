// The RAVU RIZO step over Win32 files: counts over a whole install folder, and
// the arena file left byte for byte as it was whenever a step fails.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/tests/file_seam.h"
#include "win_test_support.h"
#include "xmf/meat_rush.h"
#include "xmf/tests/arena_cases.h"

namespace tf::xmf::test {
namespace {

using tf::test::FileExists;
using tf::test::ReadFileBytes;
using tf::test::TempDir;
using tf::test::WriteFileBytes;

TEST(MeatRush, FreshRunSecondRunAndTheScrapDecoy) {
  TempDir dir;
  ExpectFreshRunThenSecondRun(ArenaFolder(dir / L"install"), PrepareMeatRush);
}

TEST(MeatRush, MissingArenas) {
  TempDir dir;
  ExpectMissingArenasFail(dir / L"install", PrepareMeatRush);
}

TEST(MeatRush, FailedStepsLeaveTheArenaUnchanged) {
  TempDir dir;
  ArenaFolder f(dir / L"install");
  const std::wstring source = f.Arena(0).wstring(), target = f.Arena(3).wstring(), temp = f.Temp(3).wstring();
  const std::vector<uint8_t> before = f.Bytes(3);
  std::string error;

  // The result fails validation: a target with fewer instances than objects.
  {
    testing::BuildOptions o = testing::ArenaOptions(3, false, 16 * 1024);
    o.instances = o.objects - 1;
    const std::vector<uint8_t> odd = testing::BuildContainer(o).bytes;
    const std::wstring oddPath = f.Arena(4).wstring();
    ASSERT_TRUE(WriteFileBytes(oddPath, odd.data(), odd.size()));
    EXPECT_FALSE(PatchArenaFile(source, "WPH2", oddPath, "MEAT", false, error));
    EXPECT_EQ(error, "the injected file failed validation: an instance does not point at its own object record");
    std::vector<uint8_t> now;
    ASSERT_TRUE(ReadFileBytes(oddPath, now));
    EXPECT_EQ(now, odd);
    EXPECT_FALSE(FileExists(oddPath + L".tmp"));
  }
  // The ".tmp" cannot be created: a folder holds its name.
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  EXPECT_FALSE(PatchArenaFile(source, "WPH2", target, "MEAT", false, error));
  EXPECT_EQ(error, "cannot write file");
  EXPECT_EQ(f.Bytes(3), before);
  ASSERT_TRUE(RemoveDirectoryW(temp.c_str()));

  // The move fails: the arena file is open elsewhere without delete sharing.
  {
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    error.clear();
    EXPECT_FALSE(PatchArenaFile(source, "WPH2", target, "MEAT", false, error));
    CloseHandle(held);
    EXPECT_EQ(error, "could not replace the arena file");
    EXPECT_EQ(f.Bytes(3), before);
    EXPECT_FALSE(FileExists(temp));
  }

  // A write that comes up short, a flush that fails: the arena as it was, and
  // no ".tmp" left.
  using Seam = tf::test::FileSeam;
  const struct {
    void (*fail)();
    const char* message;
  } failures[] = {{[] { Seam::shortWrite = 0; }, "file could not be written"},
                  {[] { Seam::failFlush = true; }, "file could not be written"}};
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.message);
    Seam seam;
    failure.fail();
    ArenaFileOps files = Win32ArenaFiles();
    files.replaceWholeFile = [](const std::wstring& path, std::span<const uint8_t> bytes) {
      uint32_t unused = 0;
      return ReplaceWholeFile(path, bytes, unused, Seam::Calls());
    };
    error.clear();
    EXPECT_FALSE(PatchArenaFileWith(files, source, "WPH2", target, "MEAT", false, error));
    EXPECT_EQ(error, failure.message);
    EXPECT_EQ(f.Bytes(3), before);
    EXPECT_FALSE(FileExists(temp));
  }

  // The next run replaces the arena.
  error.clear();
  EXPECT_TRUE(PatchArenaFile(source, "WPH2", target, "MEAT", false, error)) << error;
  EXPECT_FALSE(FileExists(temp));
  EXPECT_EQ(MeatObjects(f.Bytes(3)), 1);
}

TEST(MeatRush, ReadWholeFile) {
  TempDir dir;
  std::vector<uint8_t> bytes = {9, 9};
  std::string error;
  EXPECT_FALSE(ReadWholeFile(dir / L"none.xmf", bytes, error));
  EXPECT_EQ(error, "cannot open file");
  ASSERT_TRUE(WriteFileBytes(dir / L"empty.xmf", "", 0));
  EXPECT_TRUE(ReadWholeFile(dir / L"empty.xmf", bytes, error));
  EXPECT_TRUE(bytes.empty());
  // More than one chunk of 1 MiB.
  std::vector<uint8_t> big(0x100000 * 2 + 17);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
  ASSERT_TRUE(WriteFileBytes(dir / L"big.xmf", big.data(), big.size()));
  EXPECT_TRUE(ReadWholeFile(dir / L"big.xmf", bytes, error));
  EXPECT_EQ(bytes, big);
}

}  // namespace
}  // namespace tf::xmf::test
