// Zip records: their exact bytes, the size limits, and a round trip through the template reader.
#include "android/zip_records.h"

#include <gtest/gtest.h>

#include "android/apk_template.h"
#include "android/crc32.h"

namespace tf::android {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ZipRecords, ExactBytes) {
  Bytes local;
  AppendLocalHeader(local, "ab", 0x11223344, 0x105);
  EXPECT_EQ(local, (Bytes{0x50, 0x4B, 0x03, 0x04, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11,
                          0x05, 0x01, 0, 0, 0x05, 0x01, 0, 0, 2, 0, 0, 0, 'a', 'b'}));

  Bytes central;
  AppendCentralHeader(central, CentralRecord{"xyz", 0xA1B2C3D4, 7, 0x01020304});
  EXPECT_EQ(central, (Bytes{0x50, 0x4B, 0x01, 0x02, 20, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1,
                            7, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0x04, 0x03, 0x02, 0x01, 'x', 'y', 'z'}));

  Bytes endRecord;
  AppendEndRecord(endRecord, 13, 0x2A0, 0x12345678);
  EXPECT_EQ(endRecord, (Bytes{0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 13, 0, 13, 0, 0xA0, 0x02, 0, 0,
                              0x78, 0x56, 0x34, 0x12, 0, 0}));
}

TEST(ZipRecords, DirectoryBlockIsHeadersThenEndRecord) {
  std::vector<CentralRecord> records = {{"a", 1, 2, 0}, {"assets/game.pak", 3, 4, 33}};
  Bytes block;
  std::string error;
  ASSERT_TRUE(BuildCentralDirectory(records, 1000, block, error)) << error;
  Bytes expected;
  AppendCentralHeader(expected, records[0]);
  AppendCentralHeader(expected, records[1]);
  AppendEndRecord(expected, 2, (46 + 1) + (46 + 15), 1000);
  EXPECT_EQ(block, expected);

  ASSERT_TRUE(BuildCentralDirectory({}, 0, block, error)) << error;
  Bytes empty;
  AppendEndRecord(empty, 0, 0, 0);
  EXPECT_EQ(block, empty);
}

TEST(ZipRecords, RoomForAnEntry) {
  constexpr uint64_t kMax = 0xFFFFFFFE;
  struct Case {
    const char* what;
    uint64_t position, nameLength, size, count;
    bool fits;
  } const kCases[] = {
      {"small", 0, 15, 100, 0, true},
      {"entry ends at the largest offset", kMax - 30 - 15 - 100, 15, 100, 0, true},
      {"one byte further", kMax - 30 - 15 - 100 + 1, 15, 100, 0, false},
      {"largest size at offset 0", 0, 0, kMax - 30, 0, true},
      {"size of all ones (ZIP64 marker)", 0, 0, 0xFFFFFFFF, 0, false},
      {"a pack of exactly 0xFFFFFFFF bytes after a template entry", 1000, 15, 0xFFFFFFFF, 1, false},
      {"position already past 4 GiB", 0x100000000ull, 1, 0, 0, false},
      {"64-bit values that would wrap the sum", ~0ull - 10, 5, ~0ull - 10, 0, false},
      {"the last usable entry", 0, 1, 0, 0xFFFD, true},
      {"one entry too many", 0, 1, 0, 0xFFFE, false},
      {"longest name", 0, 0xFFFF, 0, 0, true},
      {"name beyond its field", 0, 0x10000, 0, 0, false},
  };
  for (const auto& c : kCases) {
    std::string error = "untouched";
    EXPECT_EQ(ZipHasRoom(c.position, c.nameLength, c.size, c.count, error), c.fits) << c.what;
    EXPECT_EQ(error, c.fits ? "untouched" : zip::kMsgPackageTooLarge) << c.what;
  }
}

TEST(ZipRecords, DirectoryLimits) {
  constexpr uint64_t kMax = 0xFFFFFFFE;
  const std::vector<CentralRecord> one = {{"a", 0, 0, 0}};
  struct Case {
    const char* what;
    std::vector<CentralRecord> records;
    uint64_t offset;
    bool fits;
  } const kCases[] = {
      {"end record at the largest offset", one, kMax - 47, true},
      {"end record one byte further", one, kMax - 46, false},
      {"directory offset past 4 GiB", {}, 0x100000000ull, false},
      {"record offset past the field", {{"a", 0, 0, kMax + 1}}, 0, false},
      {"record size past the field", {{"a", 0, kMax + 1, 0}}, 0, false},
      {"record name past its field", {{std::string(0x10000, 'n'), 0, 0, 0}}, 0, false},
      {"most entries", std::vector<CentralRecord>(0xFFFE, CentralRecord{"a", 0, 0, 0}), 0, true},
      {"one entry too many", std::vector<CentralRecord>(0xFFFF, CentralRecord{"a", 0, 0, 0}), 0, false},
  };
  for (const auto& c : kCases) {
    Bytes block = {1, 2, 3};
    std::string error = "untouched";
    EXPECT_EQ(BuildCentralDirectory(c.records, c.offset, block, error), c.fits) << c.what;
    if (c.fits) {
      EXPECT_EQ(block.size(), c.records.size() * 47 + 22) << c.what;
    } else {
      EXPECT_EQ(error, zip::kMsgPackageTooLarge) << c.what;
    }
  }
}

// An archive made with the record builders, as the package writer makes one,
// read back by the template reader.
TEST(ZipRecords, RoundTripThroughTheTemplateReader) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"AndroidManifest.xml", "manifest"}, {"res/empty.png", ""}, {"assets/game.pak", std::string(70000, 'p')}};
  Bytes archive;
  std::vector<CentralRecord> records;
  std::string error;
  for (const auto& [name, data] : files) {
    ASSERT_TRUE(ZipHasRoom(archive.size(), name.size(), data.size(), records.size(), error));
    records.push_back({name, Crc32(data.data(), data.size()), data.size(), archive.size()});
    AppendLocalHeader(archive, name, records.back().crc, data.size());
    archive.insert(archive.end(), data.begin(), data.end());
  }
  Bytes block;
  ASSERT_TRUE(BuildCentralDirectory(records, archive.size(), block, error)) << error;
  archive.insert(archive.end(), block.begin(), block.end());

  std::vector<TemplateEntry> entries;
  ASSERT_TRUE(ReadApkTemplate(archive.data(), static_cast<uint32_t>(archive.size()), entries, error)) << error;
  ASSERT_EQ(entries.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(entries[i].name, files[i].first);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entries[i].data), entries[i].size), files[i].second);
  }
}

}  // namespace
}  // namespace tf::android
