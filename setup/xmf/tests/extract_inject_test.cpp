// Extraction and injection on the hand-laid mini container: rebasing, sharing,
// FXMF resources, the placement rules of the new file and their failures.
#include <gtest/gtest.h>

#include <span>

#include "xmf/tests/mini_xmf.h"
#include "xmf/testing/xmf_builder.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_extract.h"
#include "xmf/xmf_inject.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf::test {
namespace {

std::string ExtractMessage(std::vector<uint8_t> bytes, const char* name) {
  XmfContainer c;
  std::string error;
  if (!ParseBytes(std::move(bytes), c, error)) return "parse: " + error;
  ExtractedObject x;
  return ExtractObject(c, name, x, error) ? "ok" : error;
}

TEST(XmfExtract, MiniObject) {
  Layout l;
  XmfContainer c;
  ParseInto(Assemble(MiniContainer(l)), c);
  ExtractedObject x;
  std::string error;
  ASSERT_TRUE(ExtractObject(c, "MINI", x, error)) << error;
  EXPECT_EQ(x.source, &c);
  EXPECT_EQ(x.indexWords, (std::vector<uint16_t>{0, 1, 2, 3, 0}));
  ASSERT_EQ(x.strides, (std::vector<uint32_t>{12, 8}));
  // Part 0 reaches vertices 1..3 of declaration 0, part 1 vertices 2..5 of declaration 1.
  ASSERT_EQ(x.vertexWindows[0].size(), 3u * 12);
  ASSERT_EQ(x.vertexWindows[1].size(), 4u * 8);
  EXPECT_TRUE(std::equal(x.vertexWindows[0].begin(), x.vertexWindows[0].end(),
                         c.bytes.begin() + c.fxmfOffset + l.vertexData[0] + 12));
  EXPECT_TRUE(std::equal(x.vertexWindows[1].begin(), x.vertexWindows[1].end(),
                         c.bytes.begin() + c.fxmfOffset + l.vertexData[1] + 2 * 8));
  EXPECT_EQ(U32(x.parts[0], 68), 0u);
  EXPECT_EQ(U32(x.parts[1], 68), 0u);
  EXPECT_EQ(U32(x.parts[1], 16), 3u);
  EXPECT_EQ(x.declarationIndex, (std::map<uint32_t, uint32_t>{{l.decls, 0}, {l.decls + 80, 1}}));
  ASSERT_EQ(x.materials.size(), 1u);
  ASSERT_EQ(x.textures.size(), 2u);
  EXPECT_TRUE(x.textures[0].hasHeader && x.textures[0].hasPalette);
  EXPECT_TRUE(x.textures[1].hasHeader && !x.textures[1].hasPalette);
  ASSERT_EQ(x.palettes.size(), 1u);
  EXPECT_EQ(x.fxmfOrder, (std::vector<uint32_t>{l.pixelData[0], l.paletteData, l.pixelData[1]}));
  // Each FXMF resource runs to the next known offset; the last one to the end of FXMF.
  EXPECT_EQ(x.fxmfData.at(l.pixelData[0]).size(), 40u);
  EXPECT_EQ(x.fxmfData.at(l.paletteData).size(), c.fxmfSize - l.paletteData);
}

TEST(XmfExtract, SharingAndRebasing) {
  Layout l;
  Sections s = MiniContainer(l);
  // Part 1 moves onto declaration 0 with words 3 and 0 and base 1: vertices 4 and 1.
  Set(s.oxmf, l.parts + 84 + 64, l.decls);
  Set(s.oxmf, l.parts + 84 + 68, 1);
  // Both material slots 0 and 1 name texture 0; texture 1 shares texture 0's palette and
  // header, so the header region keeps one header: header 1 goes, the palette moves up.
  Set(s.rxmf, 12, 4);
  s.txmf.erase(s.txmf.begin() + l.headerStart + 20, s.txmf.begin() + l.headerStart + 40);
  Set(s.txmf, 4 + 8, l.paletteStart - 20);
  Set(s.txmf, 20 + 4, l.headerStart);
  Set(s.txmf, 20 + 8, l.paletteStart - 20);
  XmfContainer c;
  ParseInto(Assemble(s), c);
  ExtractedObject x;
  std::string error;
  ASSERT_TRUE(ExtractObject(c, "MINI", x, error)) << error;
  ASSERT_EQ(x.vertexWindows[0].size(), 4u * 12);  // vertices 1..4
  EXPECT_TRUE(x.vertexWindows[1].empty());          // declaration 1 unused, keeps its place
  EXPECT_EQ(x.strides[1], 8u);
  EXPECT_EQ(x.declarations.size(), 2u);
  ASSERT_EQ(x.textures.size(), 2u);
  EXPECT_EQ(x.palettes.size(), 1u);
  EXPECT_EQ(x.textures[0].paletteOffset, x.textures[1].paletteOffset);
  EXPECT_TRUE(x.textures[1].hasPalette);
  EXPECT_EQ(x.textures[0].header, x.textures[1].header);
  EXPECT_EQ(x.fxmfOrder.size(), 2u);  // one pixel resource, one palette
}

TEST(XmfExtract, GapWordsAreCarriedAndCountTowardsTheSmallestWord) {
  // Words [5 6 7 | gap | 8 5]: part 0 uses 0..2 (base -4: vertices 1..3), part 1 uses 4..5 (base -3: 5, 2).
  auto make = [](uint16_t gap, XmfContainer& c) {
    Layout l;
    Sections s = MiniContainer(l);
    const uint16_t words[] = {5, 6, 7, gap, 8, 5};
    for (int w = 0; w < 6; ++w) Set16(s.oxmf, l.words + 2 * w, words[w]);
    Set(s.oxmf, l.parts + 84 + 16, 4);
    Set(s.oxmf, l.parts + 68, static_cast<uint32_t>(-4));
    Set(s.oxmf, l.parts + 84 + 68, static_cast<uint32_t>(-3));
    ParseInto(Assemble(s), c);
  };
  XmfContainer c;
  make(9, c);
  ExtractedObject x;
  std::string error;
  ASSERT_TRUE(ExtractObject(c, "MINI", x, error)) << error;
  EXPECT_EQ(x.indexWords, (std::vector<uint16_t>{0, 1, 2, 4, 3, 0}));
  // new base + (word - N) = base + word - lowest: 0 for the first vertex of each window.
  EXPECT_EQ(U32(x.parts[0], 68), 0u);
  EXPECT_EQ(U32(x.parts[1], 68), 0u);
  EXPECT_EQ(U32(x.parts[1], 16), 4u);
  // A gap word below every part's words lowers N: the rebased bases would go negative.
  XmfContainer low;
  make(2, low);
  ExtractedObject y;
  EXPECT_FALSE(ExtractObject(low, "MINI", y, error));
  EXPECT_EQ(error, "rebased BaseVertexIndex would be negative");
}

TEST(XmfExtract, Failures) {
  struct Row {
    const char* name;
    Edit edit;
    const char* message;
    const char* object = "MINI";
  };
  const Row rows[] = {
      {"unknown name", kUnchanged, "the source container has no object with that name", "NONE"},
      {"instance elsewhere", [](Sections& s, const Layout&) { Set(s.ixmf, 4 + 68, 8); },
       "instance does not point at its own object record"},
      {"skinned", [](Sections& s, const Layout&) { Set16(s.oxmf, 4 + 28, 1); }, "skinned objects are not supported"},
      {"no parts", [](Sections& s, const Layout&) { Set16(s.oxmf, 4 + 4, 0); },
       "object has no parts or no vertex declarations"},
      {"no declarations", [](Sections& s, const Layout&) { Set16(s.oxmf, 4 + 20, 0); },
       "object has no parts or no vertex declarations"},
      {"declaration inside a record", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 64, l.decls + 4); },
       "a part uses a descriptor outside the object array"},
      {"non-indexed part", [](Sections& s, const Layout& l) { Set16(s.oxmf, l.parts + 84 + 20, 0); },
       "non-indexed parts are not supported"},
      {"no index words",
       [](Sections& s, const Layout& l) {
         for (int k = 0; k < 2; ++k) {
           Set(s.oxmf, l.parts + 84 * k + 8, 0);
           Set(s.oxmf, l.parts + 84 * k + 12, 0);
           Set(s.oxmf, l.parts + 84 * k + 16, 2);
         }
       },
       "the object references no index words"},
      {"part without indices",
       [](Sections& s, const Layout& l) {
         Set(s.oxmf, l.parts + 84 + 8, 0);
         Set(s.oxmf, l.parts + 84 + 12, 0);
       },
       "a part has no indices"},
      {"zero stride", [](Sections& s, const Layout& l) { Set(s.oxmf, l.decls + 80 + 16, 0); },
       "vertex declaration has zero stride"},
      {"window past the file", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 84 + 68, 1000); },
       "vertex window runs past the end of the file"},
      {"window before the file", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 84 + 68, 0x80000000u); },
       "vertex window runs past the end of the file"},
      {"window before FXMF", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 84 + 68, static_cast<uint32_t>(-20)); },
       "a vertex window starts before FXMF"},
      {"negative rebase",
       [](Sections& s, const Layout& l) {
         // Part 1 uses word 3 only (base -2: vertex 1); N stays 0, so its new base is -3.
         Set(s.oxmf, l.parts + 84 + 8, 1);
         Set(s.oxmf, l.parts + 84 + 12, 0);
         Set(s.oxmf, l.parts + 84 + 68, static_cast<uint32_t>(-2));
       },
       "rebased BaseVertexIndex would be negative"},
      {"slot between records reaches an unlisted header",
       [](Sections& s, const Layout& l) {
         // Slot 1 names TXMF offset 12, which is no record: its header field (bytes 16..19)
         // names header 1, which texture 1 no longer lists, so its pixels are unknown.
         Set(s.rxmf, 16, 12);
         Set(s.txmf, 16, l.headerStart + 20);
         Set(s.txmf, 20, 0xFFFFFFFF);
         Set(s.txmf, 24, 0xFFFFFFFF);
       },
       "an FXMF offset is not a known resource"},
      // Offsets that would read outside their section.
      {"part array past OXMF",
       [](Sections& s, const Layout&) { Set(s.oxmf, 4, static_cast<uint32_t>(s.oxmf.size()) - 84); },
       "a part record lies outside OXMF"},
      {"declaration array past OXMF",
       [](Sections& s, const Layout&) { Set(s.oxmf, 20, static_cast<uint32_t>(s.oxmf.size()) - 80 - 8); },
       "a declaration record lies outside OXMF"},
      {"IB resource past OXMF", [](Sections& s, const Layout&) { Set(s.oxmf, 12, 0xFFFFFFF8u); },
       "an IB resource lies outside OXMF"},
      {"index words past OXMF", [](Sections& s, const Layout& l) { Set(s.oxmf, l.ib + 4, 0xFFFFFFF0u); },
       "the index words lie outside OXMF"},
      {"VB resource past OXMF", [](Sections& s, const Layout& l) { Set(s.oxmf, l.decls + 80 + 4, 0x7FFFFFFF); },
       "a VB resource lies outside OXMF"},
      {"material past RXMF", [](Sections& s, const Layout& l) { Set(s.oxmf, l.parts + 24, 8); },
       "a material record lies outside RXMF"},
      {"texture record past TXMF", [](Sections& s, const Layout&) { Set(s.rxmf, 12 + 4, static_cast<uint32_t>(s.txmf.size()) - 8); },
       "a texture record lies outside TXMF"},
      {"texture header past TXMF", [](Sections& s, const Layout&) { Set(s.txmf, 8, static_cast<uint32_t>(s.txmf.size()) - 10); },
       "a texture header lies outside TXMF"},
      {"palette past TXMF", [](Sections& s, const Layout&) { Set(s.txmf, 12, 0xFFFFFFF0u); },
       "a palette resource lies outside TXMF"},
      {"pixel offset past FXMF",
       [](Sections& s, const Layout& l) { Set(s.txmf, l.headerStart + 4, 0x10000); },  // known, but outside
       "an FXMF resource lies outside FXMF"},
  };
  for (const Row& row : rows) EXPECT_EQ(ExtractMessage(EditedMini(row.edit), row.object), row.message) << row.name;
}

TEST(XmfExtract, ResourcesNeverReachPastFxmf) {
  Layout l;
  Sections s = MiniContainer(l);
  // An unused VB resource names an offset past FXMF; the last real resource still ends at FXMF's end.
  Set(s.oxmf, s.oxmf.size() - 12 + 4, 0x7FFFFFFF);
  XmfContainer c;
  ParseInto(Assemble(s), c);
  FxmfResourceMap resources;
  std::string error;
  ASSERT_TRUE(CollectFxmfResources(c, resources, error)) << error;
  EXPECT_EQ(resources.at(l.paletteData), c.fxmfSize - l.paletteData);
  EXPECT_EQ(resources.at(0x7FFFFFFF), 0u);
  EXPECT_EQ(resources.at(l.vertexData[0]), l.pixelData[0] - l.vertexData[0]);
}

struct Injected {
  XmfContainer target, source, result;
  ExtractedObject x;
  std::vector<uint8_t> bytes;
};

void InjectMini(const Sections& target, const Sections& source, Injected& r) {
  ParseInto(Assemble(target), r.target);
  ParseInto(Assemble(source), r.source);
  std::string error;
  ASSERT_TRUE(ExtractObject(r.source, "MINI", r.x, error)) << error;
  ASSERT_TRUE(InjectObject(r.target, r.x, "MEAT", r.bytes, error)) << error;
  ParseInto(r.bytes, r.result);
}

TEST(XmfInject, PlacementRules) {
  Layout tl, sl;
  Sections target = MiniContainer(tl), source = MiniContainer(sl);
  // The source has five index words: an odd number.
  Injected r;
  InjectMini(target, source, r);
  std::string error;
  ASSERT_TRUE(ValidateXmf(r.result, error)) << error;
  EXPECT_EQ(r.result.instanceCount, 2u);
  EXPECT_EQ(r.result.objectCount, 2u);

  const XmfContainer& n = r.result;
  const uint32_t M = 4 + 76, T = tl.tail;
  uint32_t newTail = 0;
  ASSERT_TRUE(TailStart(n, newTail, error));
  const uint32_t blockSize = newTail - T - 76;
  EXPECT_EQ(blockSize % 4, 0u);
  const std::span<const uint8_t> ox = std::span(n.bytes).subspan(n.oxmfOffset);
  // Object 1 lies at the old M; its block starts at T + 76.
  EXPECT_EQ(U32(ox, 4 + 76 + 0), T + 76);
  EXPECT_EQ(U32(ox, M + 32), NameWord("MEAT"));
  const uint32_t ib = U32(ox, 4 + 76 + 8), words = U32(ox, ib + 4);
  EXPECT_EQ((words - (T + 76)) % 4, 0u);
  // Five words (0 1 2 3 0), then two zero bytes up to the block end.
  EXPECT_EQ(words + 12, newTail);
  EXPECT_EQ(U32(ox, words + 8) >> 16, 0u);
  // The middle region moved by 76, the tail by the growth; old VB resources come first.
  EXPECT_EQ(U32(ox, 4 + 16), tl.decls + 76);
  EXPECT_EQ(U32(ox, tl.decls + 76 + 4), newTail);
  EXPECT_EQ(n.oxmfSize, r.target.oxmfSize + (newTail - T) + 2 * 12);
  // FXMF data on 128-byte steps, vertex windows on 32-byte steps, zero filled.
  const std::span<const uint8_t> tx = std::span(n.bytes).subspan(n.txmfOffset);
  const uint32_t pixels = U32(tx, U32(tx, 4 + 2 * 16 + 4) + 4);
  EXPECT_EQ(pixels % 128, 0u);
  EXPECT_GE(pixels, r.target.fxmfSize);
  for (uint32_t i = r.target.fxmfSize; i < pixels; ++i) EXPECT_EQ(n.bytes[n.fxmfOffset + i], 0) << i;
  const uint32_t newDecl0 = U32(ox, 4 + 76 + 16);
  const uint32_t window = U32(ox, U32(ox, newDecl0 + 4) + 4);
  EXPECT_EQ(window % 32, 0u);
  // The target's texture without palette keeps 0xFFFFFFFF.
  EXPECT_EQ(U32(tx, 20 + 8), 0xFFFFFFFFu);
  // Headers: the two old ones, then the two new ones; palettes: the old one, then the new one.
  EXPECT_EQ(U32(tx, 4 + 4), 4u + 4 * 16);
  EXPECT_EQ(U32(tx, 4 + 2 * 16 + 4), 4u + 4 * 16 + 2 * 20);
  EXPECT_EQ(U32(tx, 4 + 2 * 16 + 8), 4u + 4 * 16 + 4 * 20 + 12);

  testing::FileView sv, rv;
  ASSERT_TRUE(testing::WalkFile(r.source.bytes, sv, error));
  ASSERT_TRUE(testing::WalkFile(r.bytes, rv, error));
  const std::map<uint32_t, uint32_t> lengths = {{sl.pixelData[0], 40}, {sl.pixelData[1], 24}, {sl.paletteData, 16}};
  EXPECT_TRUE(SameDrawing(r.source.bytes, sv.objects[0], lengths, r.bytes, rv.objects[1]));
  EXPECT_TRUE(AlignedPlacement(rv.objects[1]));
  EXPECT_TRUE(SameDrawing(r.source.bytes, sv.objects[0], lengths, r.bytes, rv.objects[0]));
}

TEST(XmfInject, IdsfRegionIsCopiedOnlyWhenItExists) {
  struct Row {
    uint32_t marker, sizeWord;
    std::vector<uint8_t> idsf;
  };
  const Row rows[] = {{0xABCD, 99, {}}, {7, 0, {}}, {7, 6, {'I', 'D', 'S', 'F', 0xAA, 0xBB}}};
  for (const Row& row : rows) {
    Layout tl, sl;
    Sections target = MiniContainer(tl);
    target.idsfMarker = row.marker;
    target.idsfSizeWord = row.sizeWord;
    target.idsf = row.idsf;
    Injected r;
    InjectMini(target, MiniContainer(sl), r);
    EXPECT_EQ(r.result.idsfSize, row.idsf.size());
    EXPECT_EQ(r.result.idsfMarker, row.marker);
    EXPECT_TRUE(std::equal(row.idsf.begin(), row.idsf.end(), r.result.bytes.begin() + r.result.idsfOffset));
  }
}

TEST(XmfInject, UnusedDeclarationFailsTheCheckOfTheResult) {
  Layout tl, sl;
  Sections source = MiniContainer(sl);
  Set(source.oxmf, sl.parts + 84 + 64, sl.decls);  // declaration 1 loses its only part
  Set(source.oxmf, sl.parts + 84 + 68, 1);
  Injected r;
  InjectMini(MiniContainer(tl), source, r);
  const std::span<const uint8_t> ox = std::span(r.result.bytes).subspan(r.result.oxmfOffset);
  EXPECT_EQ(U32(ox, U32(ox, 4 + 76 + 16) + 80 + 4), 0u);
  std::string error;
  EXPECT_FALSE(ValidateXmf(r.result, error));
  EXPECT_EQ(error, "VB resource is not in the tail array");
}

TEST(XmfInject, TargetWithFewerInstancesFailsTheCheckOfTheResult) {
  testing::BuildOptions o;
  o.objects = 3;
  o.instances = 2;
  Layout sl;
  Injected r;
  XmfContainer target;
  ParseInto(testing::BuildContainer(o).bytes, r.target);
  ParseInto(Assemble(MiniContainer(sl)), r.source);
  std::string error;
  ASSERT_TRUE(ExtractObject(r.source, "MINI", r.x, error)) << error;
  ASSERT_TRUE(InjectObject(r.target, r.x, "MEAT", r.bytes, error)) << error;
  ParseInto(r.bytes, r.result);
  EXPECT_FALSE(ValidateXmf(r.result, error));
  EXPECT_EQ(error, "an instance does not point at its own object record");
}

// A texture without header after one with a header costs a header slot in the
// palette-region rule; the injection reserves it, so the result re-parses and
// its palettes stay where its records say.
TEST(XmfInject, HeaderlessTextureAfterHeaderKeepsThePaletteRegion) {
  Layout tl, sl;
  Sections source = MiniContainer(sl);
  // Texture 1 loses its header and gains texture 0's palette: order [header, no header].
  Set(source.txmf, 20 + 4, 0xFFFFFFFF);
  Set(source.txmf, 20 + 8, sl.paletteStart);
  Injected r;
  InjectMini(MiniContainer(tl), source, r);
  std::string error;
  ASSERT_TRUE(ValidateXmf(r.result, error)) << error;
  // 2 old headers, new header, the reserved slot.
  EXPECT_EQ(PaletteRegionStart(r.result), 4u + 4 * 16 + 4 * 20);
  testing::FileView sv, rv;
  ASSERT_TRUE(testing::WalkFile(r.source.bytes, sv, error));
  ASSERT_TRUE(testing::WalkFile(r.bytes, rv, error));
  const std::map<uint32_t, uint32_t> lengths = {{sl.pixelData[0], 40}, {sl.paletteData, 16}};
  EXPECT_TRUE(SameDrawing(r.source.bytes, sv.objects[0], lengths, r.bytes, rv.objects[1]));

  // After a target whose last texture has no header, a first new texture without header
  // continues that run and costs no slot: [none | none, header] gives 2 old + 1 new slots.
  Sections target = MiniContainer(tl), source2 = MiniContainer(sl);
  Set(target.txmf, 20 + 4, 0xFFFFFFFF);
  Set(source2.txmf, 4 + 4, 0xFFFFFFFF);
  Injected r2;
  InjectMini(target, source2, r2);
  ASSERT_TRUE(ValidateXmf(r2.result, error)) << error;
  EXPECT_EQ(PaletteRegionStart(r2.result), 4u + 4 * 16 + 3 * 20);
}

TEST(XmfInject, Failures) {
  struct Row {
    const char* name;
    Edit editTarget;
    std::string newName;
    const char* message;
  };
  const Row rows[] = {
      {"three-letter name", kUnchanged, "MEA", "the new name must be exactly 4 characters"},
      {"five-letter name", kUnchanged, "MEATS", "the new name must be exactly 4 characters"},
      {"tail before the object records",
       [](Sections& s, const Layout& l) {
         // T moves below M but still leaves a whole number of tail records.
         Set(s.oxmf, l.decls + 4, l.tail - 12 * ((l.tail - 40) / 12));
       },
       "MEAT", "unexpected OXMF layout: the VB-resource array is not at the tail"},
      {"part array near the end of OXMF",
       [](Sections& s, const Layout&) { Set(s.oxmf, 4, static_cast<uint32_t>(s.oxmf.size()) - 84 - 60); }, "MEAT",
       "a pointer site lies outside OXMF"},
      {"declaration array past OXMF", [](Sections& s, const Layout&) { Set16(s.oxmf, 24, 9); }, "MEAT",
       "a pointer site lies outside OXMF"},
  };
  for (const Row& row : rows) {
    Layout sl;
    XmfContainer t, s;
    ParseInto(EditedMini(row.editTarget), t);
    ParseInto(Assemble(MiniContainer(sl)), s);
    ExtractedObject x;
    std::string error;
    ASSERT_TRUE(ExtractObject(s, "MINI", x, error)) << error;
    std::vector<uint8_t> out;
    EXPECT_FALSE(InjectObject(t, x, row.newName, out, error)) << row.name;
    EXPECT_EQ(error, row.message) << row.name;
  }
}

}  // namespace
}  // namespace tf::xmf::test
