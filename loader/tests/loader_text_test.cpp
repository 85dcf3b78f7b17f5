// The loader's command-line splitting, path joining and report conversions.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "loader_text.h"

namespace {

using tf::loader::kPathChars;

struct ArgCase {
  const char* commandLine;
  bool present;
  const char* first;
};

TEST(LoaderText, FirstArgumentFollowsTheCRuntimeRules) {
  const ArgCase cases[] = {
      {"Tarnfell.exe", false, ""},
      {"Tarnfell.exe   ", false, ""},
      {"\"C:\\Program Files\\Tarnfell\\Tarnfell.exe\"", false, ""},
      {"Tarnfell.exe m2", true, "m2"},
      {"Tarnfell.exe m2 second", true, "m2"},
      {"Tarnfell.exe\tm2\tsecond", true, "m2"},
      {"\"C:\\Program Files\\Tarnfell\\Tarnfell.exe\" m4 x", true, "m4"},
      {"\"C:\\a b\\T.exe\"m3", true, "m3"},  // the quoted name ends at its closing quote
      {"T.exe \"two words\" third", true, "two words"},
      {"T.exe a\"b c\"d e", true, "ab cd"},
      {"T.exe \"\"", true, ""},
      {"T.exe a\\\\b", true, "a\\\\b"},          // backslashes not before a quote stay
      {"T.exe a\\\"b", true, "a\"b"},            // 2n+1 backslashes: n and a literal quote
      {"T.exe \"a\\\\\" b", true, "a\\"},        // 2n backslashes: n, and the quote closes
      {"T.exe \"a\"\"b\" c", true, "a\"b"},      // "" inside quotes gives a quote
      {"T.exe \"unterminated arg", true, "unterminated arg"},
      {"C:\\Games\\Tarnfell.exe  -x", true, "-x"},
  };
  for (const ArgCase& c : cases) {
    std::string out(std::string(c.commandLine).size() + 1, '\x7f');
    bool present = tf::loader::FirstArgument(c.commandLine, out.data());
    EXPECT_EQ(present, c.present) << c.commandLine;
    if (present) EXPECT_STREQ(out.c_str(), c.first) << c.commandLine;
  }
}

TEST(LoaderText, FolderIsCutAfterTheLastBackslash) {
  EXPECT_EQ(tf::loader::FolderLength("C:\\Games\\Tarnfell\\Tarnfell.exe"), 18u);
  EXPECT_EQ(tf::loader::FolderLength("C:\\T.exe"), 3u);
  EXPECT_EQ(tf::loader::FolderLength("T.exe"), 0u);
  EXPECT_EQ(tf::loader::FolderLength("\\\\server\\share\\"), 15u);
}

TEST(LoaderText, JoinPathCutsAt259AndSaysSo) {
  char out[kPathChars];
  EXPECT_TRUE(tf::loader::JoinPath(out, "C:\\Games\\x", 9, "tf_hybrid.dll"));
  EXPECT_STREQ(out, "C:\\Games\\tf_hybrid.dll");

  struct {
    size_t folderLength;
    bool whole;
  } cases[] = {{246, true}, {247, false}, {258, false}, {259, false}, {300, false}};
  for (auto c : cases) {
    std::string folder(c.folderLength, 'f');
    bool whole = tf::loader::JoinPath(out, folder.c_str(), folder.size(), "tf_hybrid.dll");
    EXPECT_EQ(whole, c.whole) << c.folderLength;
    std::string expected = (folder + "tf_hybrid.dll").substr(0, kPathChars - 1);
    EXPECT_EQ(std::string(out), expected) << c.folderLength;
  }
}

TEST(LoaderText, ConversionsMatchTheReportFormats) {
  char buffer[128];
  tf::loader::Line line(buffer, sizeof(buffer));
  line.Pointer(0x10000).Str(" ").Pointer(0x1715000).Str(" ").Pointer(0xFFFFFFFFu);
  EXPECT_STREQ(line.Text(), "00010000 01715000 FFFFFFFF");

  struct {
    int32_t value;
    const char* text;
  } signedCases[] = {{0, "0"}, {7, "7"}, {-5, "-5"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (auto c : signedCases) {
    tf::loader::Line l(buffer, sizeof(buffer));
    EXPECT_STREQ(l.Signed(c.value).Text(), c.text);
  }
  tf::loader::Line u(buffer, sizeof(buffer));
  EXPECT_STREQ(u.Unsigned(126).Str(" ").Unsigned(4294967295u).Text(), "126 4294967295");
}

TEST(LoaderText, LineNeverWritesPastItsBuffer) {
  char buffer[8] = {0, 0, 0, 0, 0, 0, 'G', 'G'};
  tf::loader::Line line(buffer, 6);
  line.Str("abcdefghij").Pointer(0x12345678);
  EXPECT_STREQ(line.Text(), "abcde");
  EXPECT_TRUE(line.Overflowed());
  EXPECT_EQ(buffer[6], 'G');
}

}  // namespace
