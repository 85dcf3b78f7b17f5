// The table walk over images in memory.
#include "disc/xdvdfs_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "table_builder.h"

namespace tf {
namespace {

using testing::MemoryReader;
using testing::RawEntry;
using testing::Table;
using testing::VolumeImage;

struct Scan {
  VolumeSearch result;
  XdvdfsVolume volume;
  std::vector<XdvdfsEntry> entries;
  std::string error;
};

Scan ScanImage(const std::vector<uint8_t>& image) {
  MemoryReader reader(image);
  Scan s;
  s.result = FindAndScanVolume(reader, image.size(), s.volume, s.entries, s.error);
  return s;
}

// The scan of `img` with `root` as its root table (named with `rootSize`, 0:
// its own size) and a zero sector at 60, past every file of the tests; cut to
// `imageSize` bytes when that is not 0.
Scan ScanWithRoot(VolumeImage img, const std::vector<uint8_t>& root, uint32_t rootSize = 0, size_t imageSize = 0) {
  img.SetRoot(root, rootSize);
  img.Put(60, std::vector<uint8_t>(kSectorSize, 0));
  if (imageSize) img.Bytes().resize(imageSize);
  return ScanImage(img.Bytes());
}

std::vector<std::string> Paths(const std::vector<XdvdfsEntry>& entries) {
  std::vector<std::string> p;
  for (const auto& e : entries) p.push_back(e.path);
  return p;
}

// Root at sector 33 with a file and a folder; the folder's table at 34 holds a
// file and a sub-folder whose table at 35 holds one more file.
VolumeImage SmallTree() {
  VolumeImage img;
  // Tables from the deepest up, each folder entry with its table's size.
  std::vector<uint8_t> sub = Table({{"deep.bin", 43, 1, false}});
  std::vector<uint8_t> gfx = Table({{"a.bin", 42, 10, false}, {"SUB", 35, static_cast<uint32_t>(sub.size()), true}});
  img.Put(35, sub);
  img.Put(34, gfx);
  img.SetRoot(Table({{"default.xbe", 40, 4, false},
                     {"GFX", 34, static_cast<uint32_t>(gfx.size()), true},
                     {"zz.txt", 41, 3, false}}));
  img.Put(44, std::vector<uint8_t>(kSectorSize, 0));
  return img;
}

TEST(XdvdfsScan, ListsBreadthPerFolderInTableOrder) {
  VolumeImage img = SmallTree();
  Scan s = ScanImage(img.Bytes());
  ASSERT_EQ(s.result, VolumeSearch::Found) << s.error;
  EXPECT_EQ(Paths(s.entries), (std::vector<std::string>{"default.xbe", "GFX", "zz.txt", "GFX\\a.bin",
                                                        "GFX\\SUB", "GFX\\SUB\\deep.bin"}));
  EXPECT_EQ(s.volume.timestamp, testing::kGameTimestamp);
  EXPECT_EQ(s.entries[0].offset, 40u * kSectorSize);
  EXPECT_EQ(s.entries[0].size, 4u);
  EXPECT_TRUE(s.entries[1].isDirectory);
  EXPECT_FALSE(s.entries[3].isDirectory);
}

TEST(XdvdfsScan, ProbesBasesInOrder) {
  const uint64_t kHigh = 0x18300000;
  struct Case {
    const char* name;
    bool atZero;
    bool atHigh;
    bool trailingMagicBrokenAtZero;
    VolumeSearch expected;
    uint64_t base;
  } cases[] = {
      {"only base 0", true, false, false, VolumeSearch::Found, 0},
      {"both: base 0 wins", true, true, false, VolumeSearch::Found, 0},
      {"only the full-disc base", false, true, false, VolumeSearch::Found, kHigh},
      {"trailing magic broken at 0, nothing else", true, false, true, VolumeSearch::NotFound, 0},
      {"trailing magic broken at 0, good at high", true, true, true, VolumeSearch::Found, kHigh},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Sparse layout: the high volume is placed in a second, offset-shifted reader.
    std::vector<uint8_t> image;
    auto place = [&](uint64_t base, bool brokenTrailer) {
      VolumeImage v = SmallTree();
      if (brokenTrailer) v.Bytes()[kDescriptorOffset + 2028] ^= 0x20;
      if (image.size() < base + v.Bytes().size()) image.resize(base + v.Bytes().size(), 0);
      std::copy(v.Bytes().begin(), v.Bytes().end(), image.begin() + base);
    };
    if (c.atHigh) place(kHigh, false);
    if (c.atZero) place(0, c.trailingMagicBrokenAtZero);
    Scan s = ScanImage(image);
    EXPECT_EQ(s.result, c.expected);
    if (c.expected == VolumeSearch::Found) {
      EXPECT_EQ(s.volume.base, c.base);
      ASSERT_FALSE(s.entries.empty());
      EXPECT_EQ(s.entries[0].offset, c.base + 40u * kSectorSize);
    }
  }
}

TEST(XdvdfsScan, TooShortForAnyDescriptorReadsNothing) {
  std::vector<uint8_t> image(0x107FF, 0);
  MemoryReader reader(image);
  XdvdfsVolume v;
  std::vector<XdvdfsEntry> entries;
  std::string error;
  EXPECT_EQ(FindAndScanVolume(reader, image.size(), v, entries, error), VolumeSearch::NotFound);
  EXPECT_EQ(reader.reads, 0);
}

TEST(XdvdfsScan, TableEdgeCases) {
  struct Case {
    const char* name;
    std::vector<uint8_t> root;
    uint32_t rootSizeOverride;  // 0: the table's size
    std::vector<std::string> expected;
  };
  std::vector<uint8_t> twoBlocks = Table({{"a", 40, 1, false}});
  twoBlocks.resize(kSectorSize, 0xFF);
  testing::AppendEntry(twoBlocks, {"b", 41, 1, false});

  std::vector<uint8_t> zeroName = Table({{"a", 40, 1, false}, {"x", 41, 1, false}});
  zeroName[16 + 13] = 0;  // the second entry's name length
  zeroName.resize(kSectorSize, 0xFF);
  testing::AppendEntry(zeroName, {"c", 42, 1, false});

  std::vector<uint8_t> overrun = Table({{"a", 40, 1, false}, {"long-name", 41, 1, false}});

  std::vector<Case> cases = {
      {"empty root", {}, 0, {}},
      {"table shorter than an entry header", std::vector<uint8_t>(13, 0x41), 13, {}},
      {"padding then next block", twoBlocks, 0, {"a", "b"}},
      {"zero name length skips the rest of its block", zeroName, 0, {"a", "c"}},
      {"name running past the table end is skipped", overrun, 16 + 18, {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scan s = ScanWithRoot({}, c.root, c.rootSizeOverride);
    ASSERT_EQ(s.result, VolumeSearch::Found) << s.error;
    EXPECT_EQ(Paths(s.entries), c.expected);
  }
}

TEST(XdvdfsScan, Failures) {
  struct Case {
    const char* name;
    std::vector<uint8_t> root;
    uint32_t rootSize;
    size_t imageSize;  // 0: as built
    const char* message;
  };
  std::vector<Case> cases = {
      {"root table larger than 8 MiB", Table({{"a", 40, 1, false}}), 0x800001, 0, kMsgCorruptTable},
      {"root table past the end of the image", Table({{"a", 40, 1, false}}), 4096, 33 * 2048 + 100,
       kMsgTruncated},
      {"folder table past the end", Table({{"F", 9000, 2048, true}}), 0, 0, kMsgTruncated},
      {"folder table larger than 8 MiB", Table({{"F", 40, 0x800001, true}}), 0, 0, kMsgCorruptTable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scan s = ScanWithRoot({}, c.root, c.rootSize, c.imageSize);
    EXPECT_EQ(s.result, VolumeSearch::Failed);
    EXPECT_EQ(s.error, c.message);
    EXPECT_TRUE(s.entries.empty());
  }
}

TEST(XdvdfsScan, UnsafeNamesRefuseTheImage) {
  const std::string names[] = {".",        "..",      "a\\b",         "a/b",        "C:",       std::string("a\0b", 3),
                               "...",      ". .",     "CON",          "nul",        "Aux.txt",  "com1",
                               "LPT9.dat", "COM0",    "lpt0.bin",     "COM\xB9",    "LPT\xB2",  "com\xB3.txt",
                               "CON ",     "NUL .txt", "com1 .log",   "conout$"};
  for (const std::string& bad : names) {
    SCOPED_TRACE(bad);
    VolumeImage img;
    std::vector<uint8_t> sub = Table({{bad, 41, 1, false}});
    img.Put(34, sub);
    Scan s = ScanWithRoot(img, Table({{"ok.bin", 40, 1, false}, {"GFX", 34, static_cast<uint32_t>(sub.size()), true}}));
    EXPECT_EQ(s.result, VolumeSearch::Failed);
    EXPECT_EQ(s.error, kMsgCorruptTable);
  }
  for (const std::string good : {"a.b", ".hidden", "COM10", "LPT", "COM\xB4", "CONSOLE", "x..y", "\xE9t\xE9", "CON_"})
    EXPECT_TRUE(IsSafeName(good)) << good;
}

TEST(XdvdfsScan, DepthLimitListsSeventeenComponents) {
  // Folders D0..D19 nested; each table holds the next folder and a file.
  VolumeImage img;
  const int kLevels = 20;
  std::vector<std::vector<uint8_t>> tables(kLevels + 1);
  for (int level = kLevels; level >= 0; --level) {
    std::vector<RawEntry> entries = {{"f" + std::to_string(level), 500, 1, false}};
    if (level < kLevels)
      entries.push_back({"D" + std::to_string(level), static_cast<uint32_t>(100 + level + 1),
                         static_cast<uint32_t>(tables[level + 1].size()), true});
    tables[level] = Table(entries);
    img.Put(100 + level, tables[level]);
  }
  img.SetDescriptor(100, static_cast<uint32_t>(tables[0].size()));
  img.Put(500, std::vector<uint8_t>(kSectorSize, 0));
  Scan s = ScanImage(img.Bytes());
  ASSERT_EQ(s.result, VolumeSearch::Found) << s.error;
  size_t maxComponents = 0;
  for (const auto& e : s.entries)
    maxComponents = std::max<size_t>(maxComponents, std::count(e.path.begin(), e.path.end(), '\\') + 1);
  EXPECT_EQ(maxComponents, 17u);
  // Depth 0..16 tables are read: 17 files, plus the 17 folders listed in them.
  EXPECT_EQ(s.entries.size(), 34u);
}

TEST(XdvdfsScan, CyclesEndAtALimit) {
  // A folder whose entry points back at its own table, once and fanned out.
  for (int fanOut : {1, 8}) {
    SCOPED_TRACE(fanOut);
    VolumeImage img;
    std::vector<RawEntry> entries;
    for (int i = 0; i < fanOut; ++i) entries.push_back({"L" + std::to_string(i), 33, 0, true});
    std::vector<uint8_t> sized = Table(entries);
    for (auto& e : entries) e.size = static_cast<uint32_t>(sized.size());
    img.SetRoot(Table(entries));
    Scan s = ScanImage(img.Bytes());
    if (fanOut == 1) {
      ASSERT_EQ(s.result, VolumeSearch::Found);
      EXPECT_EQ(s.entries.size(), 17u);
    } else {
      EXPECT_EQ(s.result, VolumeSearch::Failed);
      EXPECT_EQ(s.error, kMsgCorruptTable);
    }
  }
}

TEST(XdvdfsScan, LargeTablesPointingBackStopAtTheReadBudget) {
  // One 8 MiB table whose four folders all point at itself: without a budget
  // this would read gigabytes before the entry limit ends it.
  VolumeImage img;
  std::vector<RawEntry> entries;
  for (int i = 0; i < 4; ++i) entries.push_back({"L" + std::to_string(i), 33, kMaxTableSize, true});
  std::vector<uint8_t> root = Table(entries);
  root.resize(kMaxTableSize, 0xFF);
  img.SetRoot(root);
  MemoryReader reader(img.Bytes());
  // A walk without the budget would go on reading; it is cut short here, so
  // that it fails at once (with the truncation message) instead of hanging.
  const int bound = static_cast<int>(kMaxTotalTableBytes / kMaxTableSize) + 2;
  reader.readLimit = bound + 1;
  XdvdfsVolume v;
  std::vector<XdvdfsEntry> list;
  std::string error;
  EXPECT_EQ(FindAndScanVolume(reader, img.Bytes().size(), v, list, error), VolumeSearch::Failed);
  EXPECT_EQ(error, kMsgCorruptTable);
  EXPECT_LE(reader.reads, bound);
}

TEST(XdvdfsScan, EntryLimit) {
  // 100,001 files spread over folders of 5,000 entries each.
  VolumeImage img;
  const int kFolders = 21, kPerFolder = 5000;
  std::vector<RawEntry> rootEntries;
  std::vector<uint8_t> folderTable;
  {
    std::vector<RawEntry> files;
    for (int i = 0; i < kPerFolder; ++i) files.push_back({"f" + std::to_string(i), 900000, 1, false});
    folderTable = Table(files);
  }
  uint32_t folderSectors = static_cast<uint32_t>((folderTable.size() + kSectorSize - 1) / kSectorSize);
  for (int f = 0; f < kFolders; ++f) {
    uint32_t sector = 100 + f * folderSectors;
    img.Put(sector, folderTable);
    rootEntries.push_back({"F" + std::to_string(f), sector, static_cast<uint32_t>(folderTable.size()), true});
  }
  img.SetRoot(Table(rootEntries));
  Scan s = ScanImage(img.Bytes());
  EXPECT_EQ(s.result, VolumeSearch::Failed);
  EXPECT_EQ(s.error, kMsgCorruptTable);
}

TEST(XdvdfsScan, RelativePathCheck) {
  EXPECT_TRUE(IsSafeRelativePath("GFX\\KITCHEN\\OBJECTS.xmf"));
  EXPECT_FALSE(IsSafeRelativePath("GFX\\..\\x"));
  EXPECT_FALSE(IsSafeRelativePath("GFX\\\\x"));
  EXPECT_FALSE(IsSafeRelativePath(""));
  EXPECT_FALSE(IsSafeRelativePath("\\x"));
}

}  // namespace
}  // namespace tf
