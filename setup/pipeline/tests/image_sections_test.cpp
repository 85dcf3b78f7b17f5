// Where image bytes lie in a PE file: section tables made here, with the
// cases at the ends of a section's raw data and headers that are not a PE's.
#include "pipeline/image_sections.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/bytes.h"

namespace tf {
namespace {

struct Section {
  uint32_t virtualSize, address, rawSize, rawPointer;
};

constexpr uint32_t kPeAt = 0x80;
constexpr uint16_t kOptionalSize = 0xF0;
constexpr uint32_t kTableAt = kPeAt + 24 + kOptionalSize;

std::vector<uint8_t> Headers(const std::vector<Section>& sections) {
  std::vector<uint8_t> h(kTableAt + 40 * sections.size() + 16, 0);
  ByteWriter w(h);
  w.U16(0, 0x5A4D);
  w.U32(0x3C, kPeAt);
  w.U32(kPeAt, 0x00004550);
  w.U16(kPeAt + 4, 0x8664);
  w.U16(kPeAt + 6, static_cast<uint16_t>(sections.size()));
  w.U32(kPeAt + 8, 0x5EED0001);  // time stamp
  w.U16(kPeAt + 20, kOptionalSize);
  for (size_t i = 0; i < sections.size(); ++i) {
    const size_t s = kTableAt + 40 * i;
    h[s] = '.';
    h[s + 1] = static_cast<uint8_t>('a' + i);
    w.U32(s + 8, sections[i].virtualSize);
    w.U32(s + 12, sections[i].address);
    w.U32(s + 16, sections[i].rawSize);
    w.U32(s + 20, sections[i].rawPointer);
  }
  return h;
}

const std::vector<Section> kLayout = {
    {0x4F6B8, 0x1000, 0x4F800, 0x400},         // code
    {0x2DE0, 0x6F000, 0, 0},                   // zero fill only
    {0x174B978, 0x76000, 0x174BA00, 0x6D400},  // resources
    {0x3000, 0x17C2000, 0x1000, 0x17B8E00},    // data, its end zero filled
};

TEST(ImageSections, FileOffsetsOfRangesInsideRawData) {
  const std::vector<uint8_t> h = Headers(kLayout);
  struct {
    uint32_t rva, size;
    bool found;
    uint64_t offset;
  } cases[] = {
      {0x1000, 16, true, 0x400},                       // a section's start
      {0x76000 + 0x12345, 0x100001, true, 0x6D400 + 0x12345},
      {0x76000 + 0x174B978 - 8, 8, true, 0x6D400 + 0x174B978 - 8},  // up to the size in memory
      {0x76000 + 0x174B978 - 8, 9, false, 0},          // past it: not image bytes of the file
      {0x17C2000 + 0xFFF, 1, true, 0x17B8E00 + 0xFFF}, // the raw data's last byte
      {0x17C2000 + 0xFFF, 2, false, 0},                // into the zero fill
      {0x17C2000 + 0x2000, 4, false, 0},               // zero fill only
      {0x6F000, 4, false, 0},                          // a section without raw data
      {0x200, 4, false, 0},                            // the headers
      {0x1800000, 4, false, 0},                        // past every section
      {0x76000, 0, true, 0x6D400},                     // nothing, at a section's start
      {0x76000 + 0x10, 0xFFFFFFFF, false, 0},          // a size that would wrap
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.rva << " + " << c.size);
    uint64_t offset = 77;
    EXPECT_EQ(FileOffsetOfRva(h, c.rva, c.size, offset), c.found);
    EXPECT_EQ(offset, c.found ? c.offset : 77u);
  }
}

TEST(ImageSections, HeadersThatAreNotAnImagesFindNothing) {
  const std::vector<uint8_t> good = Headers(kLayout);
  auto broken = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> h = good;
    h[at] = value;
    return h;
  };
  const std::vector<std::vector<uint8_t>> cases = {
      {},
      broken(0, 'X'),                                    // no MZ
      broken(kPeAt + 1, 'X'),                            // no PE signature
      broken(0x3D, 0xF0),                                // new header beyond the bytes
      broken(kPeAt + 6, 200),                            // more sections than the bytes hold
      std::vector<uint8_t>(good.begin(), good.begin() + kTableAt + 40 * 3),  // table cut short
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    uint64_t offset = 0;
    EXPECT_FALSE(FileOffsetOfRva(cases[i], 0x1000, 1, offset)) << i;
    EXPECT_FALSE(SameSections(cases[i], good)) << i;
  }
}

TEST(ImageSections, SameSectionsIgnoresTheImageBaseButNotTheLayout) {
  const std::vector<uint8_t> file = Headers(kLayout);
  std::vector<uint8_t> loaded = file;
  ByteWriter(loaded).U32(kPeAt + 24 + 24, 0x7FF60000);  // the image base, as a loader that relocated it writes
  EXPECT_TRUE(SameSections(file, loaded));

  std::vector<Section> moved = kLayout;
  moved[2].rawPointer += 0x200;
  std::vector<uint8_t> stamped = file;
  ByteWriter(stamped).U32(kPeAt + 8, 0x5EED0002);
  std::vector<Section> fewer(kLayout.begin(), kLayout.end() - 1);
  EXPECT_FALSE(SameSections(file, Headers(moved)));
  EXPECT_FALSE(SameSections(file, stamped));
  EXPECT_FALSE(SameSections(file, Headers(fewer)));
}

}  // namespace
}  // namespace tf
