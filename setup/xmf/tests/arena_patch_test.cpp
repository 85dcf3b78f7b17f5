// The arena walk over real files through the standard-library file layer: the
// same transaction that the Windows build runs over Win32 files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "xmf/tests/arena_cases.h"
#include "xmf/testing/std_files.h"

namespace tf::xmf::test {
namespace {

MeatRushResult StdFilesStep(const std::wstring& installFolder) {
  return PrepareMeatRushWith(testing::StdArenaFiles(), installFolder);
}

fs::path Root() { return fs::temp_directory_path() / ("tf_xmf_arena_" + std::to_string(::getpid())); }

TEST(ArenaPatch, FreshThenSecondRun) {
  ArenaFolder f(Root());
  ExpectFreshRunThenSecondRun(f, StdFilesStep);

  // With duplicates allowed, a second object of the name joins.
  std::string error;
  const std::wstring root = f.Root().wstring();
  const std::wstring kitchen = root + L"\\GFX\\KITCHEN\\OBJECTS.xmf", ship = root + L"\\GFX\\SHIP\\OBJECTS.xmf";
  EXPECT_TRUE(PatchArenaFileWith(testing::StdArenaFiles(), kitchen, "WPH2", ship, "MEAT", true, error)) << error;
  EXPECT_EQ(MeatObjects(f.Bytes(3)), 2);
}

TEST(ArenaPatch, MissingArenas) { ExpectMissingArenasFail(Root(), StdFilesStep); }

TEST(ArenaPatch, FailuresLeaveTheArenaUntouched) {
  ArenaFolder f(Root());
  std::string error;
  const std::vector<uint8_t> ship = f.Bytes(3);
  struct Row {
    const char* name;
    std::vector<uint8_t> source;
    const char* message;
  };
  std::vector<uint8_t> broken = f.Bytes(0);
  broken[3] = '2';
  const Row rows[] = {
      {"source not v1", broken, "only XMF v1 is supported"},
      {"source without WPH2", testing::BuildArenaContainer(8, false, 8 * 1024),
       "the source container has no object with that name"},
  };
  const fs::path source = f.Root() / "source.xmf";
  for (const Row& row : rows) {
    WriteBytes(source, row.source);
    EXPECT_FALSE(PatchArenaFileWith(testing::StdArenaFiles(), source.wstring(), "WPH2",
                                    f.Root().wstring() + L"\\GFX\\SHIP\\OBJECTS.xmf", "MEAT", false, error));
    EXPECT_EQ(error, row.message) << row.name;
    EXPECT_EQ(f.Bytes(3), ship) << row.name;
    EXPECT_FALSE(fs::exists(f.Temp(3))) << row.name;
  }
}

}  // namespace
}  // namespace tf::xmf::test
