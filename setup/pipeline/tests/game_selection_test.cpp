#include "pipeline/game_selection.h"

#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(GameSelection, SelectsTheExecutableAndTheThreeFolders) {
  struct Case {
    const char* path;
    bool folder;
    bool selected;
  } cases[] = {
      {"default.xbe", false, true},
      {"Default.XBE", false, true},
      {"GFX", true, false},
      {"GFX\\KITCHEN\\OBJECTS.xmf", false, true},
      {"gfx\\x.bin", false, true},
      {"GFXDATA\\x.bin", false, false},
      {"AUDMUSIC\\track01.wma", false, true},
      {"audsoundfx\\hit.wav", false, true},
      {"AUDSoundFX", false, false},  // a file named like the folder, at the root
      {"AUDSoundFXs\\a", false, false},
      {"MOVIES\\default.xbe", false, false},
      {"GFX\\sub", true, false},
      {"default.xbe.bak", false, false},
  };
  std::vector<XdvdfsEntry> entries;
  for (const Case& c : cases) entries.push_back({c.path, 0, 10, c.folder});
  GameSelection s = SelectGameFiles(entries);
  std::vector<std::string> got;
  for (const XdvdfsEntry* e : s.entries) got.push_back(e->path);
  std::vector<std::string> want;
  for (const Case& c : cases)
    if (c.selected) want.push_back(c.path);
  EXPECT_EQ(got, want);
  EXPECT_EQ(s.bytes, 10u * want.size());
}

TEST(GameSelection, SumsSizesInSixtyFourBits) {
  std::vector<XdvdfsEntry> entries(3, XdvdfsEntry{"GFX\\big", 0, 0xFFFFFFFFu, false});
  EXPECT_EQ(SelectGameFiles(entries).bytes, 3ull * 0xFFFFFFFFu);
}

TEST(GameSelection, RetailStatistics) {
  EXPECT_TRUE(IsRetailImage(454, 231662584));
  EXPECT_FALSE(IsRetailImage(453, 231662584));
  EXPECT_FALSE(IsRetailImage(454, 231662585));
}

}  // namespace
}  // namespace tf
