// The resource walk of the tests' PE support, over the installer that the
// windows build made: the resources it carries are found, and a cut removes
// exactly the one asked for.
#include "pe_resources.h"

#include <gtest/gtest.h>

#include "common/bytes.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace tf::test {
namespace {

constexpr uint32_t kRcdata = 10, kManifest = 24;

std::vector<uint8_t> Installer() {
  std::ifstream in(std::string(TF_DIST_DIR) + "/tf_setup.exe", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class InstallerResources : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = Installer();
    if (image_.empty()) GTEST_SKIP() << TF_DIST_DIR "/tf_setup.exe does not exist: build the windows preset first";
  }
  bool Carries(const std::vector<uint8_t>& image, uint32_t type, uint32_t id) const {
    PeRange data;
    return FindResourceData(image, type, id, data) && data.size > 0;
  }
  // The number of integer ids in the table of a type; -1 when there is none.
  int IdCount(const std::vector<uint8_t>& image, uint32_t type) const {
    uint64_t at = 0;
    uint32_t size = 0;
    ResourceEntry entry;
    uint16_t ids = 0;
    if (!FindResourceDirectory(image, at, size)) return -1;
    const std::span<const uint8_t> directory(image.data() + at, size);
    if (!FindResourceEntry(directory, 0, type, entry) || !ByteReader(directory).U16((entry.value & 0x7FFFFFFFu) + 14, ids))
      return -1;
    return ids;
  }
  std::vector<uint8_t> image_;
};

TEST_F(InstallerResources, ACutRemovesOnlyTheResourceAskedFor) {
  const struct {
    uint16_t type, id;
    bool cut;  // whether the installer carries it to be cut
  } cases[] = {
      {kRcdata, 101, true},   // the first of its table
      {kRcdata, 106, true},   // one between others
      {kRcdata, 111, true},   // the Android template (the optional 112 may follow)
      {kManifest, 1, true},   // a table of one entry
      {kRcdata, 999, false},  // not carried
      {77, 1, false},         // no such type
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.id));
    std::vector<uint8_t> image = image_;
    EXPECT_EQ(CutResourceEntry(image, c.type, c.id), c.cut);
    EXPECT_EQ(IdCount(image, c.type), c.cut ? IdCount(image_, c.type) - 1 : IdCount(image_, c.type));
    EXPECT_FALSE(Carries(image, c.type, c.id));
    for (uint16_t other = 101; other <= 111; ++other)
      if (!(c.type == kRcdata && other == c.id)) EXPECT_TRUE(Carries(image, kRcdata, other)) << other;
    EXPECT_EQ(image.size(), image_.size());
    if (!c.cut) EXPECT_TRUE(image == image_);
  }
}

TEST_F(InstallerResources, BytesThatAreNoImageHaveNoResources) {
  std::vector<uint8_t> image(image_.begin(), image_.begin() + 512);  // headers only: no resource section
  PeRange data;
  EXPECT_FALSE(FindResourceData(image, kRcdata, 101, data));
  EXPECT_FALSE(CutResourceEntry(image, kRcdata, 101));
  image_[0] = 'X';
  EXPECT_FALSE(CutResourceEntry(image_, kRcdata, 101));
}

}  // namespace
}  // namespace tf::test
