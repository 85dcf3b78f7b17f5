// Reads the cross-built dist/tf_loader.exe and checks the image layout the
// game runtime depends on: fixed base without relocations, header flags,
// stack and heap, the .00xbe section and what lies before and after it, and
// the resources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/pe_image.h"
#include "pe_resources.h"

namespace {

constexpr uint32_t kImageBase = 0x10000;
constexpr uint32_t kReserveVa = 0x15000;
constexpr uint32_t kReserveSize = 0x1700000;

// Section characteristics.
constexpr uint32_t kCntCode = 0x20, kCntInitData = 0x40, kCntUninitData = 0x80;
constexpr uint32_t kMemExecute = 0x20000000, kMemRead = 0x40000000, kMemWrite = 0x80000000;

struct Image {
  std::vector<uint8_t> bytes;
  tf::ByteReader r;
  tf::PeHeaders headers;
  uint16_t magic = 0, subsystem = 0, dllCharacteristics = 0;
  uint32_t imageBase = 0, sectionAlignment = 0, sizeOfImage = 0;
  uint32_t stackReserve = 0, stackCommit = 0, heapReserve = 0, heapCommit = 0;
  std::vector<tf::test::PeRange> dirs;

  const tf::PeSection* Find(const std::string& name) const {
    for (const auto& s : headers.sections)
      if (s.name == name) return &s;
    return nullptr;
  }
  // The file bytes of the image range [rva, rva + size); empty when no section holds them.
  std::span<const uint8_t> At(uint32_t rva, uint32_t size) const {
    uint64_t offset = 0;
    std::span<const uint8_t> out;
    if (!tf::FileOffsetOfRva(headers, rva, size, offset) || !r.Sub(offset, size, out)) return {};
    return out;
  }
};

std::string LoaderPath() { return std::string(TF_DIST_DIR) + "/tf_loader.exe"; }

// Parses the headers; on a malformed file adds a failure and returns false.
bool Parse(Image& img) {
  if (!tf::ReadPeHeaders(img.bytes, img.headers)) {
    ADD_FAILURE() << "no PE headers or section table";
    return false;
  }
  const tf::ByteReader& r = img.r;
  const uint64_t oh = img.headers.optionalHeaderAt;
  bool ok = r.U16(oh, img.magic) && r.U32(oh + 28, img.imageBase) && r.U32(oh + 32, img.sectionAlignment) &&
            r.U32(oh + 56, img.sizeOfImage) && r.U16(oh + 68, img.subsystem) &&
            r.U16(oh + 70, img.dllCharacteristics) && r.U32(oh + 72, img.stackReserve) &&
            r.U32(oh + 76, img.stackCommit) && r.U32(oh + 80, img.heapReserve) && r.U32(oh + 84, img.heapCommit);
  if (!ok || img.magic != 0x10B || !tf::test::ReadDataDirectories(img.bytes, img.headers, img.dirs)) {
    ADD_FAILURE() << "bad optional header";
    return false;
  }
  return true;
}

struct Flag {
  uint16_t bit;
  bool set;
  const char* what;
};
void ExpectFlags(uint16_t value, std::initializer_list<Flag> flags) {
  for (const Flag& f : flags) EXPECT_EQ((value & f.bit) != 0, f.set) << f.what;
}

class LoaderImage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    image_ = new Image;
    std::ifstream in(LoaderPath(), std::ios::binary);
    if (!in) return;
    image_->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    image_->r = tf::ByteReader(image_->bytes);
    parsed_ = Parse(*image_);
  }
  static void TearDownTestSuite() {
    delete image_;
    image_ = nullptr;
  }
  void SetUp() override {
    if (!std::filesystem::exists(LoaderPath()))
      GTEST_SKIP() << LoaderPath() << " does not exist: build the Windows preset first (cmake --build build/windows "
                   << "--target tf_loader)";
    ASSERT_TRUE(parsed_) << "could not parse " << LoaderPath();
  }
  static Image* image_;
  static bool parsed_;
};
Image* LoaderImage::image_ = nullptr;
bool LoaderImage::parsed_ = false;

TEST_F(LoaderImage, FileHeaderMarksA32BitExecutableWithoutRelocations) {
  const Image& img = *image_;
  EXPECT_EQ(img.headers.machine, 0x14C);  // i386
  ExpectFlags(img.headers.characteristics, {{0x0001, true, "relocations stripped"},
                                            {0x0002, true, "executable image"},
                                            {0x0020, true, "large address aware"},
                                            {0x0100, true, "32-bit machine"},
                                            {0x2000, false, "DLL"}});
}

TEST_F(LoaderImage, OptionalHeaderFixesBaseSubsystemStackAndHeap) {
  const Image& img = *image_;
  EXPECT_EQ(img.magic, 0x10B);
  EXPECT_EQ(img.imageBase, kImageBase);
  EXPECT_EQ(img.subsystem, 3) << "console subsystem";
  EXPECT_EQ(img.stackReserve, 0x100000u);
  EXPECT_EQ(img.stackCommit, 0x100000u);
  EXPECT_EQ(img.heapReserve, 0x100000u);
  EXPECT_EQ(img.heapCommit, 0x1000u);
  ExpectFlags(img.dllCharacteristics, {{0x0100, true, "NX compatible"},
                                       {0x8000, true, "terminal server aware"},
                                       {0x0040, false, "dynamic base (ASLR)"},
                                       {0x0020, false, "high-entropy VA"}});
}

TEST_F(LoaderImage, CarriesNoRelocationInformation) {
  const Image& img = *image_;
  ASSERT_GT(img.dirs.size(), 5u);
  EXPECT_EQ(img.dirs[5].rva, 0u) << "base relocation directory RVA";
  EXPECT_EQ(img.dirs[5].size, 0u) << "base relocation directory size";
  EXPECT_EQ(img.Find(".reloc"), nullptr);
}

TEST_F(LoaderImage, ReserveSectionIsZeroFilledWritableDataAt0x15000) {
  const Image& img = *image_;
  const tf::PeSection* s = img.Find(".00xbe");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(img.imageBase + s->virtualAddress, kReserveVa);
  EXPECT_EQ(s->virtualSize, kReserveSize);
  EXPECT_EQ(s->rawSize, kReserveSize) << "stored in full in the file";
  EXPECT_TRUE(s->characteristics & kCntInitData);
  EXPECT_TRUE(s->characteristics & kMemRead);
  EXPECT_TRUE(s->characteristics & kMemWrite);
  EXPECT_FALSE(s->characteristics & kMemExecute);
  EXPECT_FALSE(s->characteristics & kCntCode);
  EXPECT_FALSE(s->characteristics & kCntUninitData);
  std::span<const uint8_t> raw;
  ASSERT_TRUE(img.r.Sub(s->rawPointer, s->rawSize, raw)) << "raw data lies outside the file";
  size_t firstNonZero = raw.size();
  for (size_t i = 0; i < raw.size(); ++i)
    if (raw[i]) {
      firstNonZero = i;
      break;
    }
  EXPECT_EQ(firstNonZero, raw.size()) << "non-zero byte in .00xbe";
}

TEST_F(LoaderImage, CodeAndDataLieBeforeTheReserveAndResourcesAfterIt) {
  const Image& img = *image_;
  const tf::PeSection* reserve = img.Find(".00xbe");
  ASSERT_NE(reserve, nullptr);
  uint32_t reserveEnd = reserve->virtualAddress + reserve->virtualSize;
  bool sawCode = false, sawWritableData = false, sawReadOnlyData = false;
  uint32_t before = 0, after = 0;
  for (const tf::PeSection& s : img.headers.sections) {
    if (&s == reserve) continue;
    uint32_t end = s.virtualAddress + std::max(s.virtualSize, s.rawSize);
    if (s.virtualAddress < reserve->virtualAddress) {
      ++before;
      EXPECT_LE(end, reserve->virtualAddress) << s.name << " runs into .00xbe";
      EXPECT_NE(s.name, ".rsrc");
      sawCode |= (s.characteristics & kMemExecute) != 0;
      sawWritableData |= !(s.characteristics & kMemExecute) && (s.characteristics & kMemWrite);
      sawReadOnlyData |= !(s.characteristics & kMemExecute) && !(s.characteristics & kMemWrite);
    } else {
      ++after;
      EXPECT_GE(s.virtualAddress, reserveEnd) << s.name;
      EXPECT_EQ(s.name, ".rsrc") << "only resources follow .00xbe";
    }
  }
  EXPECT_TRUE(sawCode && sawWritableData && sawReadOnlyData) << "code, read-only and writable data before .00xbe";
  EXPECT_GE(before, 3u);
  EXPECT_EQ(after, 1u);
  ASSERT_GT(img.dirs.size(), 2u);
  const tf::PeSection* rsrc = img.Find(".rsrc");
  ASSERT_NE(rsrc, nullptr);
  EXPECT_EQ(img.dirs[2].rva, rsrc->virtualAddress) << "resource directory in the section after .00xbe";
  EXPECT_GE(img.sizeOfImage, reserveEnd);
}

// --- resources -------------------------------------------------------------

using ResourceData = tf::test::PeRange;

// Finds type/id (first language) in the resource directory.
std::optional<ResourceData> FindResource(const Image& img, uint32_t type, uint32_t id) {
  ResourceData d;
  if (!tf::test::FindResourceData(img.bytes, type, id, d)) return std::nullopt;
  return d;
}

std::span<const uint8_t> Bytes(const Image& img, const ResourceData& d) { return img.At(d.rva, d.size); }

// The value that follows a UTF-16 key in a version block's string table.
std::string VersionString(std::span<const uint8_t> block, const std::string& key) {
  std::vector<uint8_t> pattern;
  for (char c : key) {
    pattern.push_back(static_cast<uint8_t>(c));
    pattern.push_back(0);
  }
  pattern.push_back(0);
  pattern.push_back(0);
  for (size_t i = 0; i + pattern.size() <= block.size(); i += 2) {
    if (std::memcmp(block.data() + i, pattern.data(), pattern.size()) != 0) continue;
    size_t at = i + pattern.size();
    while (at % 4) ++at;  // the value starts on a 32-bit boundary
    std::string value;
    for (; at + 1 < block.size() && (block[at] || block[at + 1]); at += 2) value.push_back(static_cast<char>(block[at]));
    return value;
  }
  return "<missing>";
}

TEST_F(LoaderImage, CarriesTheInstallersIconAsGroupOne) {
  auto group = FindResource(*image_, 14, 1);  // RT_GROUP_ICON
  ASSERT_TRUE(group);
  tf::ByteReader g(Bytes(*image_, *group));
  uint16_t count = 0;
  ASSERT_TRUE(g.U16(4, count));

  std::ifstream in(std::string(TF_SOURCE_DIR) + "/setup/resources/tf_setup.ico", std::ios::binary);
  std::vector<uint8_t> ico((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  tf::ByteReader icoReader(ico);
  uint16_t icoCount = 0;
  ASSERT_TRUE(icoReader.U16(4, icoCount)) << "installer icon unreadable";
  EXPECT_EQ(count, 9);
  EXPECT_EQ(count, icoCount);
  int smallest = 1000, largest = 0;
  for (uint16_t i = 0; i < count; ++i) {
    uint8_t w = 0, iw = 0;
    ASSERT_TRUE(g.U8(6 + i * 14u, w));
    ASSERT_TRUE(icoReader.U8(6 + i * 16u, iw));
    EXPECT_EQ(w, iw) << "image " << i;
    int px = w ? w : 256;
    smallest = std::min(smallest, px);
    largest = std::max(largest, px);
  }
  EXPECT_EQ(smallest, 16);
  EXPECT_EQ(largest, 256);
}

TEST_F(LoaderImage, ManifestAsksForAsInvokerWithoutUiAccess) {
  auto manifest = FindResource(*image_, 24, 1);  // RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID
  ASSERT_TRUE(manifest);
  auto bytes = Bytes(*image_, *manifest);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos) << text;
  EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos) << text;
}

TEST_F(LoaderImage, VersionBlockNamesTheGame) {
  auto version = FindResource(*image_, 16, 1);  // RT_VERSION
  ASSERT_TRUE(version);
  auto block = Bytes(*image_, *version);
  struct {
    const char* key;
    const char* value;
  } want[] = {
      {"FileDescription", "Tarnfell"},
      {"ProductName", "Tarnfell (PC port)"},
      {"FileVersion", "1.0.0.0"},
      {"ProductVersion", "1.0.0.0"},
  };
  for (const auto& w : want) EXPECT_EQ(VersionString(block, w.key), w.value) << w.key;
  // VS_FIXEDFILEINFO: signature, then file and product version 1.0.0.0.
  const uint8_t sig[] = {0xBD, 0x04, 0xEF, 0xFE};
  auto it = std::search(block.begin(), block.end(), std::begin(sig), std::end(sig));
  ASSERT_NE(it, block.end());
  tf::ByteReader fixed(block.subspan(static_cast<size_t>(it - block.begin())));
  uint32_t fileMs = 0, fileLs = 0, productMs = 0, productLs = 0;
  ASSERT_TRUE(fixed.U32(8, fileMs) && fixed.U32(12, fileLs) && fixed.U32(16, productMs) && fixed.U32(20, productLs));
  EXPECT_EQ(fileMs, 0x00010000u);
  EXPECT_EQ(fileLs, 0u);
  EXPECT_EQ(productMs, 0x00010000u);
  EXPECT_EQ(productLs, 0u);
}

}  // namespace
