// The package's size check before anything is written: the META-INF files and
// the central directory count, not only the template entries and the pack.
#include "android/package_layout.h"

#include <gtest/gtest.h>

#include "android/zip_records.h"

namespace tf::android {
namespace {

// Where the pack entry ends when it follows these entries.
uint64_t EndOfPack(const std::vector<TemplateEntry>& entries, uint64_t pakLength) {
  uint64_t position = 0;
  for (const TemplateEntry& e : entries) position += zip::kLocalHeaderSize + e.name.size() + e.size;
  return position + zip::kLocalHeaderSize + 15 + pakLength;  // "assets/game.pak"
}

TEST(PackageLayout, ThePackMustLeaveRoomForTheSignatureAndTheDirectory) {
  const std::vector<TemplateEntry> entries = {{"AndroidManifest.xml", nullptr, 2000},
                                              {"classes.dex", nullptr, 150000},
                                              {"lib/arm64-v8a/libtfgame.so", nullptr, 9000000}};
  const uint64_t lastPak = zip::kMaxField32 - EndOfPack(entries, 0);  // the largest pack the entry fields take
  struct Case {
    const char* what;
    uint64_t pakLength, signatureBound;
    bool fits;
  } cases[] = {
      {"a usual package", 700000000, 8192, true},
      {"a pack that ends at the last offset", lastPak, 8192, false},
      {"a pack that leaves room for its own entry only", lastPak - 100, 0, false},
      {"room for everything", lastPak - 20000, 8192, true},
      {"a signature block that no longer fits", lastPak - 20000, 19000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_EQ(PackageFitsZip(entries, c.pakLength, c.signatureBound, error), c.fits);
    EXPECT_EQ(error, c.fits ? "" : zip::kMsgPackageTooLarge);
  }
  // Entry count: the pack and three META-INF files come on top of the template's.
  std::vector<TemplateEntry> many(zip::kMaxEntries - 4, TemplateEntry{"x", nullptr, 0});
  std::string error;
  EXPECT_TRUE(PackageFitsZip(many, 100, 8192, error)) << error;
  many.push_back(many.back());
  EXPECT_FALSE(PackageFitsZip(many, 100, 8192, error));
}

}  // namespace
}  // namespace tf::android
