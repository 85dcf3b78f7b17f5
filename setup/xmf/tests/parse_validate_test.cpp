// Parser and validator: the skeleton rules, the region borders and the reads
// that a file offset would place outside their section.
#include <gtest/gtest.h>

#include "xmf/tests/mini_xmf.h"
#include "xmf/testing/xmf_builder.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf::test {
namespace {

std::string ParseMessage(std::vector<uint8_t> bytes) {
  XmfContainer c;
  std::string error;
  return ParseBytes(std::move(bytes), c, error) ? "ok" : error;
}

std::string ValidateMessage(std::vector<uint8_t> bytes) {
  XmfContainer c;
  std::string error;
  if (!ParseBytes(std::move(bytes), c, error)) return "parse: " + error;
  return ValidateXmf(c, error) ? "ok" : error;
}

// An IDSF region of these bytes, its size word `size`.
Edit Idsf(std::vector<uint8_t> bytes, uint32_t size) {
  return [=](Sections& s, const Layout&) {
    s.idsfMarker = 7;
    s.idsf = bytes;
    s.idsfSizeWord = size;
  };
}

TEST(XmfParse, MiniContainerParsesAndValidates) {
  Layout l;
  std::vector<uint8_t> bytes = Assemble(MiniContainer(l));
  XmfContainer c;
  std::string error;
  ASSERT_TRUE(ParseBytes(bytes, c, error)) << error;
  EXPECT_EQ(c.ixmfOffset, 48u);
  EXPECT_EQ(c.oxmfOffset, 48u + 88u);
  EXPECT_EQ(c.fxmfOffset + c.fxmfSize, bytes.size());
  uint32_t tail = 0;
  ASSERT_TRUE(TailStart(c, tail, error));
  EXPECT_EQ(tail, l.tail);
  EXPECT_EQ(PaletteRegionStart(c), l.paletteStart);
  EXPECT_TRUE(ValidateXmf(c, error)) << error;
  EXPECT_EQ(CopyRange(c, 0, 4), (std::vector<uint8_t>{'X', 'M', 'F', '1'}));
  EXPECT_TRUE(CopyRange(c, 0, 0).empty());
  EXPECT_TRUE(CopyRange(c, static_cast<uint32_t>(bytes.size()) - 2, 4).empty());
}

TEST(XmfParse, ShortFilesAndMagic) {
  Layout l;
  const std::vector<uint8_t> good = Assemble(MiniContainer(l));
  struct Row {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  std::vector<uint8_t> header48(good.begin(), good.begin() + 48);
  std::vector<uint8_t> v2 = good, badMagic = good, badMagicV2 = good;
  v2[3] = '2';
  badMagic[1] = 'Y';
  badMagicV2[0] = 'x';
  badMagicV2[3] = '2';
  const Row rows[] = {
      {"47 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 47), "not an XMF container"},
      {"header only", header48, "expected IXMF section tag"},
      {"version 2", v2, "only XMF v1 is supported"},
      {"other magic", badMagic, "not an XMF container"},
      {"other magic and version", badMagicV2, "not an XMF container"},
      {"empty", {}, "not an XMF container"},
  };
  for (const Row& row : rows) EXPECT_EQ(ParseMessage(row.bytes), row.message) << row.name;
}

// Each row edits the sections of the mini container and names the parser's answer.
TEST(XmfParse, SkeletonRules) {
  struct Row {
    const char* name;
    Edit edit;
    const char* message;
    std::function<void(std::vector<uint8_t>&)> bytesEdit = nullptr;  // after assembly
  };
  const Row rows[] = {
      {"IXMF tag", [](Sections& s, const Layout&) { s.ixmf[0] = 'i'; }, "expected IXMF section tag"},
      {"OXMF tag", [](Sections& s, const Layout&) { s.oxmf[3] = 'X'; }, "expected OXMF section tag"},
      {"RXMF tag", [](Sections& s, const Layout&) { s.rxmf[0] = 'X'; }, "expected RXMF section tag"},
      {"TXMF tag", [](Sections& s, const Layout&) { s.txmf[1] = 'Y'; }, "expected TXMF section tag"},
      {"FXMF tag", [](Sections& s, const Layout&) { s.fxmf[2] = 'm'; }, "expected FXMF section tag"},
      {"sizes past 32 bits", kUnchanged, "expected RXMF section tag",
       [](std::vector<uint8_t>& b) { Set(b, 32, 0xFFFFFFF0u); }},
      {"IDSF present", Idsf({'I', 'D', 'S', 'F', 1, 2, 3}, 7), "ok"},
      {"IDSF without tag", Idsf({'I', 'D', 'X', 'F', 1, 2, 3}, 7), "expected IDSF"},
      // "IDS" + "FXMF" would read as a tag across the border.
      {"IDSF too short for its tag", Idsf({'I', 'D', 'S'}, 3), "expected IDSF"},
      {"marker 0xABCD ignores the size word", [](Sections& s, const Layout&) { s.idsfSizeWord = 1234; }, "ok"},
      {"marker without size has no region", [](Sections& s, const Layout&) { s.idsfMarker = 5; }, "ok"},
      {"one byte after FXMF", kUnchanged, "FXMF does not end at the end of the file",
       [](std::vector<uint8_t>& b) { b.push_back(0); }},
      {"FXMF one byte short", kUnchanged, "FXMF does not end at the end of the file",
       [](std::vector<uint8_t>& b) { Set(b, 44, U32(b, 44) - 1); }},
      {"more instances than records", [](Sections& s, const Layout&) { s.instanceCount = 2; },
       "IXMF is not a bare instance array"},
      {"more materials than records", [](Sections& s, const Layout&) { s.materialCount = 0; },
       "RXMF is not a bare material array"},
      {"palette region ragged", [](Sections& s, const Layout&) { s.txmf.resize(s.txmf.size() + 5); },
       "TXMF palette region is not a whole number of resources"},
      {"palette region negative", [](Sections& s, const Layout&) { s.txmf.resize(60); },
       "TXMF palette region is not a whole number of resources"},
      {"texture records past TXMF", [](Sections& s, const Layout&) { s.textureCount = 0x10000000; },
       "a texture record lies outside TXMF"},
      {"no objects", [](Sections& s, const Layout&) { s.objectCount = 0; }, "container has no objects"},
      {"OXMF shorter than object 0", [](Sections& s, const Layout&) { s.oxmf.resize(24); },
       "object record 0 lies outside OXMF"},
      {"declaration array at the end",
       [](Sections& s, const Layout&) { Set(s.oxmf, 20, static_cast<uint32_t>(s.oxmf.size()) - 7); },
       "object 0 has no usable declaration array"},
      {"declaration array offset wraps", [](Sections& s, const Layout&) { Set(s.oxmf, 20, 0xFFFFFFFCu); },
       "object 0 has no usable declaration array"},
      {"empty tail array", [](Sections& s, const Layout& l) { s.oxmf.resize(l.tail); },
       "OXMF VB-resource region is not a multiple of 12"},
      {"ragged tail array", [](Sections& s, const Layout&) { s.oxmf.resize(s.oxmf.size() + 4); },
       "OXMF VB-resource region is not a multiple of 12"},
      {"tail start past OXMF",
       [](Sections& s, const Layout& l) { Set(s.oxmf, l.decls + 4, static_cast<uint32_t>(s.oxmf.size()) + 12); },
       "OXMF VB-resource region is not a multiple of 12"},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> bytes = EditedMini(row.edit);
    if (row.bytesEdit) row.bytesEdit(bytes);
    EXPECT_EQ(ParseMessage(bytes), row.message) << row.name;
  }
}

TEST(XmfParse, HeaderlessRunsCountHeaderSlots) {
  Layout l;
  Sections s = MiniContainer(l);
  // Three records without header: s = 2 (each repeat of 0xFFFFFFFF), so t - s = 1 header slot.
  s.textureCount = 3;
  s.txmf = {'T', 'X', 'M', 'F'};
  s.txmf.resize(4 + 3 * 16 + 20 + 12, 0);
  for (int i = 0; i < 3; ++i) {
    Set(s.txmf, 4 + 16 * i + 4, 0xFFFFFFFF);
    Set(s.txmf, 4 + 16 * i + 8, 0xFFFFFFFF);
  }
  Set(s.rxmf, 12, 0xFFFFFFFF);
  Set(s.rxmf, 20, 0xFFFFFFFF);
  XmfContainer c;
  std::string error;
  ASSERT_TRUE(ParseBytes(Assemble(s), c, error)) << error;
  EXPECT_EQ(SharedHeaderCount(c), 2u);
  EXPECT_EQ(PaletteRegionStart(c), 4u + 48u + 20u);
  EXPECT_TRUE(ValidateXmf(c, error)) << error;
}

TEST(XmfParse, FindObjectReturnsTheFirstMatch) {
  testing::BuildOptions o;
  o.objects = 4;
  o.names = {{1, "DUPE"}, {3, "DUPE"}};
  XmfContainer c;
  std::string error;
  ASSERT_TRUE(ParseBytes(testing::BuildContainer(o).bytes, c, error)) << error;
  EXPECT_EQ(FindObject(c, NameWord("DUPE")), 1);
  EXPECT_EQ(FindObject(c, NameWord(testing::GeneratedName(2).c_str())), 2);
  EXPECT_EQ(FindObject(c, NameWord("dupe")), -1);  // case-sensitive
  // An object without an instance cannot be found.
  o.instances = 2;
  ASSERT_TRUE(ParseBytes(testing::BuildContainer(o).bytes, c, error)) << error;
  EXPECT_EQ(FindObject(c, NameWord("DUPE")), 1);
  EXPECT_EQ(FindObject(c, NameWord(testing::GeneratedName(2).c_str())), -1);
}

TEST(XmfParse, DeclarationStrideStopsAtCode11) {
  struct Row {
    std::vector<uint32_t> codes;
    uint32_t stride;
  };
  const Row rows[] = {
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 1}, 12 + 8 + 12 + 12 + 4 + 4 + 4 + 4 + 8 + 12},
      {{12, 13, 14, 15, 0, 11}, 4 + 8 + 4 + 6},
      {{16, 17, 99, 0xFFFFFFFF, 1, 11}, 12},
      {{11, 1, 1}, 0},
      {std::vector<uint32_t>(16, 15), 16 * 6},  // no end code: all sixteen count
  };
  for (const Row& row : rows) {
    DeclarationRecord decl{};
    for (size_t i = 0; i < row.codes.size(); ++i) ByteWriter(decl).U32(16 + 4 * i, row.codes[i]);
    EXPECT_EQ(DeclarationStride(decl), row.stride);
  }
}

// Each row edits a field of the parsed mini container; the parser still accepts it.
TEST(XmfValidate, Rules) {
  struct Row {
    const char* name;
    Edit edit;
    const char* message;
    bool partsLast = false;
  };
  const Row rows[] = {
      {"valid", kUnchanged, "ok"},
      {"instance at another record", [](Sections& s, const Layout&) { Set(s.ixmf, 4 + 68, 80); },
       "an instance does not point at its own object record"},
      {"more instances than objects",
       [](Sections& s, const Layout&) {
         s.instanceCount = 2;
         s.ixmf.resize(4 + 2 * 84, 0);
         Set(s.ixmf, 4 + 84 + 68, 80);
       },
       "an instance does not point at its own object record"},
      {"part array inside the object records", [](Sections& s, const Layout&) { Set(s.oxmf, 4, 60); },
       "part array outside the middle region"},
      {"part array ends at T", kUnchanged, "ok", true},
      {"part array one byte past T", [](Sections& s, const Layout& l) { Set(s.oxmf, 4, l.parts + 1); },
       "part array outside the middle region", true},
      {"IB resource in the tail", [](Sections& s, const Layout& l) { Set(s.oxmf, 12, l.tail - 11); },
       "IB resource outside the middle region"},
      {"decl array past T", [](Sections& s, const Layout& l) { Set16(s.oxmf, 24, static_cast<uint16_t>((l.tail - l.decls) / 80 + 1)); },
       "decl array outside the middle region"},
      {"index words past T", [](Sections& s, const Layout& l) { Set(s.oxmf, l.ib + 4, l.tail + 2); },
       "index words outside the middle region"},
      {"index words at T with used words", [](Sections& s, const Layout& l) { Set(s.oxmf, l.ib + 4, l.tail); },
       "part index range runs past the middle region"},
      {"VB resource is the last of the tail",
       [](Sections& s, const Layout& l) { Set(s.oxmf, l.decls + 80 + 4, static_cast<uint32_t>(s.oxmf.size()) - 12); }, "ok"},
      {"VB resource at the end of OXMF",
       [](Sections& s, const Layout& l) { Set(s.oxmf, l.decls + 80 + 4, static_cast<uint32_t>(s.oxmf.size())); },
       "VB resource is not in the tail array"},
      {"VB resource between tail records", [](Sections& s, const Layout& l) { Set(s.oxmf, l.decls + 80 + 4, l.tail + 4); },
       "VB resource is not in the tail array"},
      {"VB data at FXMF size",
       [](Sections& s, const Layout& l) { Set(s.oxmf, l.tail + 12 + 4, static_cast<uint32_t>(s.fxmf.size())); },
       "VB data past FXMF"},
      {"part declaration 4 bytes into a record", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 64, l.decls + 4); },
       "ok"},
      {"part declaration past the array",
       [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 84 + 64, l.decls + 160); },
       "part declaration outside this object's array"},
      {"part material inside a record", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 24, 8); },
       "part material is not a material record"},
      {"part material past RXMF", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 24, 84); },
       "part material is not a material record"},
      {"part index range past T", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 84 + 16, 0x7FFFFFFF); },
       "part index range runs past the middle region"},
      {"material slot 0", [](Sections& s, const Layout&) { Set(s.rxmf, 12, 0); },
       "material slot is not a TXMF record"},
      {"material slot in the header region", [](Sections& s, const Layout& l) { Set(s.rxmf, 12, l.headerStart); },
       "material slot is not a TXMF record"},
      {"texture header misaligned", [](Sections& s, const Layout& l) { Set(s.txmf, 8, l.headerStart + 4); },
       "texture header outside the header region"},
      {"texture header in the palettes", [](Sections& s, const Layout& l) { Set(s.txmf, 8, l.paletteStart); },
       "texture header outside the header region"},
      {"texture pixels past FXMF",
       [](Sections& s, const Layout& l) { Set(s.txmf, l.headerStart + 4, static_cast<uint32_t>(s.fxmf.size())); },
       "texture pixels past FXMF"},
      {"headerless texture with a palette",
       [](Sections& s, const Layout& l) {
         Set(s.txmf, 20 + 4, 0xFFFFFFFF);  // header slot 1 stays counted and unused
         Set(s.txmf, 20 + 8, l.paletteStart);
       },
       "ok"},
      {"headerless texture with a bad palette",
       [](Sections& s, const Layout& l) {
         Set(s.txmf, 20 + 4, 0xFFFFFFFF);
         Set(s.txmf, 20 + 8, l.paletteStart + 12);
       },
       "palette outside the palette region"},
      {"palette data past FXMF",
       [](Sections& s, const Layout& l) { Set(s.txmf, l.paletteStart + 4, static_cast<uint32_t>(s.fxmf.size()) + 9); },
       "palette data past FXMF"},
      {"more objects than records fit before T", [](Sections& s, const Layout&) { s.objectCount = 5; },
       "part array outside the middle region"},
      {"object count past 32 bits of records", [](Sections& s, const Layout&) { s.objectCount = 0x3C3C3C3D; },
       "part array outside the middle region"},
  };
  for (const Row& row : rows) EXPECT_EQ(ValidateMessage(EditedMini(row.edit, row.partsLast)), row.message) << row.name;
}

TEST(XmfValidate, GeneratedContainersAreValid) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    testing::BuildOptions o;
    o.seed = seed;
    o.objects = 1 + seed % 7;
    o.textures = seed % 9;
    o.instances = seed % 5 == 0 ? o.objects - 1 : o.objects;
    o.unusedDeclarations = seed % 3 == 0;
    EXPECT_EQ(ValidateMessage(testing::BuildContainer(o).bytes), "ok") << seed;
  }
}

}  // namespace
}  // namespace tf::xmf::test
