// The pack's index bytes and the length rule.
#include "android/game_pack.h"

#include <gtest/gtest.h>

namespace tf::android {
namespace {

using Bytes = std::vector<uint8_t>;

GameFile File(std::string name, uint64_t size) { return GameFile{L"C:\\Games\\Tarnfell\\x", std::move(name), size}; }

TEST(GamePack, IndexBytes) {
  struct Case {
    const char* what;
    std::vector<GameFile> files;
    Bytes index;
  } const kCases[] = {
      {"one empty file", {File("GFX/a", 0)},
       {'T', 'F', 'P', 'K', 1, 0, 0, 0, 1, 0, 0, 0, 5, 0, 'G', 'F', 'X', '/', 'a', 0, 0, 0, 0, 0, 0, 0, 0}},
      {"sizes are u64, list order is kept",
       {File("default.xbe", 0x0102030405060708ull), File("b", 0xFF)},
       {'T', 'F', 'P', 'K', 1, 0, 0, 0, 2, 0, 0, 0,
        11, 0, 'd', 'e', 'f', 'a', 'u', 'l', 't', '.', 'x', 'b', 'e', 8, 7, 6, 5, 4, 3, 2, 1,
        1, 0, 'b', 0xFF, 0, 0, 0, 0, 0, 0, 0}},
      {"UTF-8 names count bytes", {File("GFX/\xc3\xa9", 3)},
       {'T', 'F', 'P', 'K', 1, 0, 0, 0, 1, 0, 0, 0, 6, 0, 'G', 'F', 'X', '/', 0xC3, 0xA9, 3, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : kCases) EXPECT_EQ(BuildPakIndex(c.files), c.index) << c.what;
}

TEST(GamePack, LengthRule) {
  // One file named "a": the index is 12 + 2 + 1 + 8 = 23 bytes.
  constexpr uint64_t kIndex = 23;
  struct Case {
    const char* what;
    std::vector<GameFile> files;
    const char* error;  // nullptr: accepted
    uint64_t length;
  } const kCases[] = {
      {"no files", {}, kMsgNoGameFiles, 0},
      {"one empty file is just its index", {File("a", 0)}, nullptr, kIndex},
      {"exactly 0xFFFFFFFF bytes", {File("a", 0xFFFFFFFFull - kIndex)}, nullptr, 0xFFFFFFFFull},
      {"0x100000000 bytes", {File("a", 0x100000000ull - kIndex)}, kMsgGameTooLarge, 0},
      {"a 64-bit size that would wrap the sum", {File("a", 10), File("b", ~0ull - 5)}, kMsgGameTooLarge, 0},
      {"sizes that wrap only together", {File("a", 1ull << 63), File("b", 1ull << 63)}, kMsgGameTooLarge, 0},
      {"the index alone counts", {File(std::string(0xFFFF, 'n'), 0xFFFFFFFFull - 0xFFFF - 22)}, nullptr,
       0xFFFFFFFFull},
      {"a name longer than its u16 field", {File(std::string(0x10000, 'n'), 0)}, kMsgGameNameTooLong, 0},
  };
  for (const auto& c : kCases) {
    Bytes index = {9};
    uint64_t length = 77;
    std::string error = "untouched";
    bool ok = PreparePak(c.files, index, length, error);
    if (c.error == nullptr) {
      ASSERT_TRUE(ok) << c.what << ": " << error;
      EXPECT_EQ(length, c.length) << c.what;
      EXPECT_EQ(index, BuildPakIndex(c.files)) << c.what;
      EXPECT_EQ(error, "untouched") << c.what;
    } else {
      EXPECT_FALSE(ok) << c.what;
      EXPECT_EQ(error, c.error) << c.what;
      EXPECT_EQ(length, 77u) << c.what;
    }
  }
}

}  // namespace
}  // namespace tf::android
