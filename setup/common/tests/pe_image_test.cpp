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

// Images with import tables: headers at 0, one section at RVA 0x1000 whose
// 0x200 bytes of raw data lie at file offset 0x400. The import descriptors
// start the section, the delay-load descriptors follow at +0x80, the names at +0x100.
constexpr uint32_t kImportSectionRva = 0x1000, kImportSectionRaw = 0x400, kImportSectionSize = 0x200;
constexpr uint32_t kDelayTableRva = kImportSectionRva + 0x80, kNamesRva = kImportSectionRva + 0x100;

struct ImportLayout {
  uint16_t magic = 0x10B;  // PE32; 0x20B: PE32+
  std::vector<std::string> dlls, delayed;
  bool delayAsAddresses = false;  // the old delay-load form: virtual addresses, not RVAs
  uint64_t imageBase = 0x400000;
};

std::vector<uint8_t> ImageWithImports(const ImportLayout& layout) {
  const bool plus = layout.magic == 0x20B;
  const uint16_t optionalSize = plus ? 0xF0 : 0xE0;
  const uint32_t tableAt = kPeAt + 24 + optionalSize;
  std::vector<uint8_t> image(kImportSectionRaw + kImportSectionSize, 0);
  ByteWriter w(image);
  w.U16(0, 0x5A4D);
  w.U32(0x3C, kPeAt);
  w.U32(kPeAt, 0x00004550);
  w.U16(kPeAt + 4, plus ? 0x8664 : 0x14C);
  w.U16(kPeAt + 6, 1);
  w.U16(kPeAt + 20, optionalSize);
  const uint32_t optional = kPeAt + 24;
  w.U16(optional, layout.magic);
  if (plus)
    w.U64(optional + 24, layout.imageBase);
  else
    w.U32(optional + 28, static_cast<uint32_t>(layout.imageBase));
  const uint32_t directories = optional + (plus ? 112 : 96);
  w.U32(directories - 4, 16);
  if (!layout.dlls.empty()) w.U32(directories + 8 * 1, kImportSectionRva);
  if (!layout.delayed.empty()) w.U32(directories + 8 * 13, kDelayTableRva);
  w.U32(tableAt + 8, kImportSectionSize);
  w.U32(tableAt + 12, kImportSectionRva);
  w.U32(tableAt + 16, kImportSectionSize);
  w.U32(tableAt + 20, kImportSectionRaw);
  uint32_t nameRva = kNamesRva;
  auto putName = [&](const std::string& name) {
    std::copy(name.begin(), name.end(), image.begin() + (kImportSectionRaw + nameRva - kImportSectionRva));
    const uint32_t at = nameRva;
    nameRva += static_cast<uint32_t>(name.size()) + 1;
    return at;
  };
  for (size_t i = 0; i < layout.dlls.size(); ++i) w.U32(kImportSectionRaw + 20 * i + 12, putName(layout.dlls[i]));
  for (size_t i = 0; i < layout.delayed.size(); ++i) {
    const uint32_t at = kImportSectionRaw + (kDelayTableRva - kImportSectionRva) + 32 * static_cast<uint32_t>(i);
    const uint32_t name = putName(layout.delayed[i]);
    w.U32(at, layout.delayAsAddresses ? 0 : 1);
    w.U32(at + 4, layout.delayAsAddresses ? static_cast<uint32_t>(layout.imageBase + name) : name);
  }
  return image;
}

uint32_t FileOffset(uint32_t rva) { return kImportSectionRaw + rva - kImportSectionRva; }

TEST(PeImage, ImportedAndDelayLoadedDllsInTableOrder) {
  const struct {
    const char* what;
    ImportLayout layout;
  } cases[] = {
      {"PE32, imports only", {0x10B, {"KERNEL32.dll", "USER32.dll", "msvcrt.dll"}, {}}},
      {"PE32+, both", {0x20B, {"KERNEL32.dll"}, {"CRYPT32.dll", "VERSION.dll"}, false, 0x140000000}},
      {"PE32, delay-load addresses", {0x10B, {"KERNEL32.dll"}, {"CRYPT32.dll"}, true}},
      {"no tables", {0x10B, {}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PeImports imports;
    ASSERT_TRUE(ReadPeImports(ImageWithImports(c.layout), imports));
    EXPECT_EQ(imports.dlls, c.layout.dlls);
    EXPECT_EQ(imports.delayLoadedDlls, c.layout.delayed);
  }
}

TEST(PeImage, ImportTablesThatDoNotLieInTheFileAreRefused) {
  const std::vector<uint8_t> good = ImageWithImports({0x10B, {"KERNEL32.dll", "USER32.dll"}, {"CRYPT32.dll"}});
  const uint32_t directories = kPeAt + 24 + 96;
  const uint32_t firstName = FileOffset(kNamesRva), delayName = FileOffset(kDelayTableRva) + 4;
  auto changed = [&](std::initializer_list<std::pair<uint32_t, uint32_t>> u32s) {
    std::vector<uint8_t> image = good;
    for (auto [at, value] : u32s) ByteWriter(image).U32(at, value);
    return image;
  };
  auto byteAt = [&](uint32_t at, uint8_t value) {
    std::vector<uint8_t> image = good;
    image[at] = value;
    return image;
  };
  // The last descriptor of the section is not the terminator: that would lie past it.
  const uint32_t lastSlot = kImportSectionRva + kImportSectionSize - 20;
  std::vector<uint8_t> endless = changed({{directories + 8, lastSlot}, {FileOffset(lastSlot) + 12, kNamesRva}});
  // A name that runs to the section's end without its NUL.
  const uint32_t tail = kImportSectionRva + kImportSectionSize - 3;
  std::vector<uint8_t> unended = changed({{kImportSectionRaw + 12, tail}});
  std::fill_n(unended.begin() + FileOffset(tail), 3, 'x');
  const struct {
    const char* what;
    std::vector<uint8_t> image;
  } cases[] = {
      {"an optional header of no known kind", changed({{kPeAt + 24, 0x10C}})},
      {"more directories than the header holds", changed({{directories - 4, 17}})},
      {"directories past the header's size", byteAt(kPeAt + 20, 0x60)},
      {"the table in zero fill", changed({{directories + 8, kImportSectionRva + kImportSectionSize + 0x10}})},
      {"the table in the headers", changed({{directories + 8, 0x200}})},
      {"no terminating descriptor", endless},
      {"a name past the section", changed({{kImportSectionRaw + 12, kImportSectionRva + kImportSectionSize}})},
      {"a name without its end", unended},
      {"an empty name", byteAt(firstName, 0)},
      {"a name that is not text", byteAt(firstName + 3, 0x07)},
      {"a delay-load name at no RVA", changed({{delayName, 0xFFFFFF00}})},
      {"a delay-load address below the image base", changed({{delayName - 4, 0}, {delayName, 0x1100}})},
  };
  PeImports imports;
  ASSERT_TRUE(ReadPeImports(good, imports));
  for (const auto& c : cases) {
    PeImports out;
    out.dlls = {"kept"};
    EXPECT_FALSE(ReadPeImports(c.image, out)) << c.what;
    EXPECT_EQ(out.dlls, std::vector<std::string>{"kept"}) << c.what;
  }
}

}  // namespace
}  // namespace tf
