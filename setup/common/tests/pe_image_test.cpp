// PE headers: section tables made here, where image bytes lie in the file
// (the cases at the ends of a section's raw data), and headers that are not a PE's.
#include "common/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace tf {
namespace {

struct Section {
  uint32_t virtualSize, address, rawSize, rawPointer, characteristics = 0;
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
  w.U16(kPeAt + 22, 0x0122);
  for (size_t i = 0; i < sections.size(); ++i) {
    const size_t s = kTableAt + 40 * i;
    h[s] = '.';
    h[s + 1] = static_cast<uint8_t>('a' + i);
    if (i == 0) std::fill_n(h.begin() + s + 2, 6, 'x');  // a name of all eight bytes
    w.U32(s + 8, sections[i].virtualSize);
    w.U32(s + 12, sections[i].address);
    w.U32(s + 16, sections[i].rawSize);
    w.U32(s + 20, sections[i].rawPointer);
    w.U32(s + 36, sections[i].characteristics);
  }
  return h;
}

const std::vector<Section> kLayout = {
    {0x4F6B8, 0x1000, 0x4F800, 0x400, 0x60000020},  // code
    {0x2DE0, 0x6F000, 0, 0},                   // zero fill only
    {0x174B978, 0x76000, 0x174BA00, 0x6D400},  // resources
    {0x3000, 0x17C2000, 0x1000, 0x17B8E00},    // data, its end zero filled
};

TEST(PeImage, HeadersAndSectionTable) {
  PeHeaders h;
  ASSERT_TRUE(ReadPeHeaders(Headers(kLayout), h));
  EXPECT_EQ(h.signatureAt, kPeAt);
  EXPECT_EQ(h.machine, 0x8664);
  EXPECT_EQ(h.characteristics, 0x0122);
  EXPECT_EQ(h.optionalHeaderAt, kPeAt + 24u);
  EXPECT_EQ(h.optionalHeaderSize, kOptionalSize);
  EXPECT_EQ(h.sectionTableAt, kTableAt);
  ASSERT_EQ(h.sections.size(), kLayout.size());
  for (size_t i = 0; i < kLayout.size(); ++i) {
    const PeSection& s = h.sections[i];
    const std::string name = i == 0 ? ".axxxxxx" : std::string(".") + static_cast<char>('a' + i);
    EXPECT_EQ(s.name, name) << i;
    EXPECT_EQ(s.virtualSize, kLayout[i].virtualSize) << i;
    EXPECT_EQ(s.virtualAddress, kLayout[i].address) << i;
    EXPECT_EQ(s.rawSize, kLayout[i].rawSize) << i;
    EXPECT_EQ(s.rawPointer, kLayout[i].rawPointer) << i;
    EXPECT_EQ(s.characteristics, kLayout[i].characteristics) << i;
  }
}

TEST(PeImage, FileOffsetsOfRangesInsideRawData) {
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

TEST(PeImage, HeadersThatAreNotAnImagesFindNothing) {
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
    PeHeaders h;
    EXPECT_FALSE(ReadPeHeaders(cases[i], h)) << i;
    EXPECT_FALSE(FileOffsetOfRva(cases[i], 0x1000, 1, offset)) << i;
    EXPECT_FALSE(SameSections(cases[i], good)) << i;
  }
}

TEST(PeImage, SameSectionsIgnoresTheImageBaseButNotTheLayout) {
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
