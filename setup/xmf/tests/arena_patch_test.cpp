// The arena walk over real files through the standard-library file layer: the
// same transaction that the Windows build runs over Win32 files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "xmf/arena_patch.h"
#include "xmf/testing/std_files.h"
#include "xmf/testing/xmf_builder.h"
#include "xmf/testing/xmf_walk.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteAll(const fs::path& p, const std::vector<uint8_t>& b) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class ArenaPatch : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tf_xmf_arena_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (uint32_t i = 0; i < std::size(ArenaTable); ++i)
      WriteAll(ArenaPath(i), testing::BuildArenaContainer(40 + i, i == 0, 24 * 1024));
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path ArenaPath(uint32_t i) const { return root_ / "GFX" / ArenaTable[i].folder / ArenaTable[i].container; }
  std::wstring Root() const { return root_.wstring(); }
  MeatRushResult Run() { return PrepareMeatRushWith(testing::StdArenaFiles(), Root()); }
  int MeatCount(uint32_t i) {
    XmfContainer c;
    c.bytes = ReadAll(ArenaPath(i));
    std::string error;
    EXPECT_TRUE(Parse(c, error)) << error;
    EXPECT_TRUE(ValidateXmf(c, error)) << error;
    return testing::CountInstancesNamed(c.bytes, "MEAT");
  }
  fs::path root_;
};

TEST_F(ArenaPatch, FreshThenSecondRun) {
  const fs::path decoy = root_ / "GFX" / "SCRAP" / "OBJECTS.xmf";
  const std::vector<uint8_t> decoyBytes = testing::BuildArenaContainer(99, false, 8 * 1024);
  WriteAll(decoy, decoyBytes);
  MeatRushResult r = Run();
  EXPECT_EQ(r.patched, 13u);
  EXPECT_EQ(r.alreadyPresent, 0u);
  EXPECT_EQ(r.failed, 0u);
  EXPECT_EQ(r.message, "");
  std::vector<std::vector<uint8_t>> after;
  for (uint32_t i = 0; i < 13; ++i) {
    EXPECT_EQ(MeatCount(i), 1) << ArenaTable[i].folder;
    EXPECT_FALSE(fs::exists(ArenaPath(i).string() + ".tmp"));
    after.push_back(ReadAll(ArenaPath(i)));
  }
  EXPECT_EQ(ReadAll(decoy), decoyBytes);

  r = Run();
  EXPECT_EQ(r.patched, 0u);
  EXPECT_EQ(r.alreadyPresent, 13u);
  EXPECT_EQ(r.failed, 0u);
  for (uint32_t i = 0; i < 13; ++i) EXPECT_EQ(ReadAll(ArenaPath(i)), after[i]) << ArenaTable[i].folder;

  // With duplicates allowed, a second object of the name joins.
  std::string error;
  const std::wstring kitchen = Root() + L"\\GFX\\KITCHEN\\OBJECTS.xmf", ship = Root() + L"\\GFX\\SHIP\\OBJECTS.xmf";
  EXPECT_TRUE(PatchArenaFileWith(testing::StdArenaFiles(), kitchen, "WPH2", ship, "MEAT", true, error)) << error;
  EXPECT_EQ(MeatCount(3), 2);
}

TEST_F(ArenaPatch, MissingArenas) {
  struct Row {
    const char* name;
    uint32_t remove;  // index in the arena table
    uint32_t patched, failed;
    const char* message;
  };
  const Row rows[] = {
      {"kitchen missing", 0, 0, 13, "KITCHEN: file is missing"},
      {"haunted missing", 1, 12, 1, "HAUNTED: file is missing"},
  };
  for (const Row& row : rows) {
    SetUp();
    fs::remove_all(ArenaPath(row.remove).parent_path());
    MeatRushResult r = Run();
    EXPECT_EQ(r.patched, row.patched) << row.name;
    EXPECT_EQ(r.failed, row.failed) << row.name;
    EXPECT_EQ(r.alreadyPresent, 0u) << row.name;
    EXPECT_EQ(r.message, row.message) << row.name;
  }
}

TEST_F(ArenaPatch, FailuresLeaveTheArenaUntouched) {
  std::string error;
  const std::vector<uint8_t> ship = ReadAll(ArenaPath(3));
  struct Row {
    const char* name;
    std::vector<uint8_t> source;
    const char* message;
  };
  std::vector<uint8_t> broken = ReadAll(ArenaPath(0));
  broken[3] = '2';
  const Row rows[] = {
      {"source not v1", broken, "only XMF v1 is supported"},
      {"source without WPH2", testing::BuildArenaContainer(8, false, 8 * 1024),
       "the source container has no object with that name"},
  };
  const fs::path source = root_ / "source.xmf";
  for (const Row& row : rows) {
    WriteAll(source, row.source);
    EXPECT_FALSE(PatchArenaFileWith(testing::StdArenaFiles(), source.wstring(), "WPH2",
                                    Root() + L"\\GFX\\SHIP\\OBJECTS.xmf", "MEAT", false, error));
    EXPECT_EQ(error, row.message) << row.name;
    EXPECT_EQ(ReadAll(ArenaPath(3)), ship) << row.name;
    EXPECT_FALSE(fs::exists(ArenaPath(3).string() + ".tmp")) << row.name;
  }
}

}  // namespace
}  // namespace tf::xmf
