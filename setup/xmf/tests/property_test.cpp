// Extract and inject over thousands of generated container pairs: the result
// parses and validates, the new object draws exactly like the source object,
// and every object of the target draws as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "xmf/tests/xmf_test_util.h"
#include "xmf/testing/xmf_builder.h"
#include "xmf/testing/xmf_walk.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_extract.h"
#include "xmf/xmf_inject.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf::test {
namespace {

using testing::BuildOptions;

BuildOptions RandomOptions(uint32_t seed) {
  BuildOptions o;
  o.seed = seed;
  uint32_t r = seed * 2654435761u;
  auto pick = [&](uint32_t n) {
    r = r * 1103515245u + 12345u;
    return (r >> 16) % n;
  };
  o.objects = 1 + pick(6);
  o.instances = pick(8) == 0 && o.objects > 1 ? o.objects - 1 : o.objects;
  o.maxParts = 1 + pick(5);
  o.maxDeclarations = 1 + pick(4);
  o.maxPartWords = 1 + pick(60);
  o.maxVertices = 1 + pick(80);
  o.sharedDeclarations = pick(4) != 0;
  o.unusedDeclarations = pick(5) == 0;
  o.indexGaps = pick(3) != 0;
  o.negativeBaseVertex = pick(3) != 0;
  o.looseIndexRanges = pick(5) == 0;
  o.materials = 1 + pick(5);
  o.textures = pick(9);
  o.sharedHeaders = pick(3) != 0;
  o.headerlessTextures = pick(3) != 0;
  o.palettelessTextures = pick(3) != 0;
  o.sharedPalettes = pick(3) != 0;
  o.maxPixelBytes = 1 + pick(300);
  o.maxGap = pick(3) == 0 ? 0 : pick(130);
  return o;
}

// What the extraction must refuse, predicted from the raw bytes of the object.
struct Prediction {
  bool unusedDeclaration = false;
  bool negativeRebase = false;
};

Prediction Predict(const std::vector<uint8_t>& file, uint32_t object) {
  Prediction p;
  const uint64_t oxmf = 48 + U32(file, 28);
  const uint64_t rec = oxmf + 4 + 76 * uint64_t{object};
  const uint32_t parts = U32(file, rec), partCount = U32(file, rec + 4) & 0xFFFF;
  const uint32_t decls = U32(file, rec + 16), declCount = U32(file, rec + 20) & 0xFFFF;
  const uint64_t words = oxmf + U32(file, oxmf + U32(file, rec + 8) + 4);
  auto word = [&](uint64_t i) { return static_cast<int64_t>(U32(file, words + 2 * i) & 0xFFFF); };
  uint64_t lo = UINT64_MAX, hi = 0;
  for (uint32_t k = 0; k < partCount; ++k) {
    const uint64_t part = oxmf + parts + 84 * k;
    lo = std::min<uint64_t>(lo, U32(file, part + 16));
    hi = std::max<uint64_t>(hi, uint64_t{U32(file, part + 8)} + U32(file, part + 12) + U32(file, part + 16));
  }
  int64_t smallest = INT64_MAX;
  for (uint64_t i = lo; i < hi; ++i) smallest = std::min(smallest, word(i));
  std::map<uint32_t, int64_t> lowest;
  for (uint32_t k = 0; k < partCount; ++k) {
    const uint64_t part = oxmf + parts + 84 * k;
    const uint64_t start = U32(file, part + 16), n = uint64_t{U32(file, part + 8)} + U32(file, part + 12);
    const int64_t base = static_cast<int32_t>(U32(file, part + 68));
    for (uint64_t q = start; q < start + n; ++q) {
      auto [it, fresh] = lowest.emplace(U32(file, part + 64), word(q) + base);
      if (!fresh) it->second = std::min(it->second, word(q) + base);
    }
  }
  p.unusedDeclaration = lowest.size() < declCount;
  (void)decls;
  for (uint32_t k = 0; k < partCount; ++k) {
    const uint64_t part = oxmf + parts + 84 * k;
    const int64_t base = static_cast<int32_t>(U32(file, part + 68));
    if (base - lowest[U32(file, part + 64)] + smallest < 0) p.negativeRebase = true;
  }
  return p;
}

struct Tally {
  int injected = 0, negativeRebase = 0, unusedDeclaration = 0, fewerInstances = 0;
};

void RunPair(uint32_t seed, Tally& tally) {
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const BuildOptions so = RandomOptions(seed * 2 + 1), to = RandomOptions(seed * 2 + 2);
  const testing::BuiltContainer source = testing::BuildContainer(so), target = testing::BuildContainer(to);
  XmfContainer src, tgt;
  std::string error;
  ASSERT_TRUE(ParseBytes(source.bytes, src, error)) << error;
  ASSERT_TRUE(ParseBytes(target.bytes, tgt, error)) << error;
  ASSERT_TRUE(ValidateXmf(src, error)) << error;
  ASSERT_TRUE(ValidateXmf(tgt, error)) << error;

  const uint32_t object = seed % src.instanceCount;
  const std::string name = testing::GeneratedName(object);
  const Prediction predicted = Predict(source.bytes, object);

  ExtractedObject x;
  const bool extracted = ExtractObject(src, name.c_str(), x, error);
  if (predicted.negativeRebase) {
    ASSERT_FALSE(extracted);
    EXPECT_EQ(error, "rebased BaseVertexIndex would be negative");
    ++tally.negativeRebase;
    return;
  }
  ASSERT_TRUE(extracted) << error;

  std::vector<uint8_t> out;
  ASSERT_TRUE(InjectObject(tgt, x, "MEAT", out, error)) << error;
  XmfContainer result;
  ASSERT_TRUE(ParseBytes(out, result, error)) << error;  // (1)
  const bool valid = ValidateXmf(result, error);
  if (tgt.instanceCount < tgt.objectCount) {
    ASSERT_FALSE(valid);
    EXPECT_EQ(error, "an instance does not point at its own object record");
    ++tally.fewerInstances;
    return;
  }
  if (predicted.unusedDeclaration) {
    ASSERT_FALSE(valid);
    EXPECT_EQ(error, "VB resource is not in the tail array");
    ++tally.unusedDeclaration;
    return;
  }
  ASSERT_TRUE(valid) << error;  // (1)
  ASSERT_EQ(FindObject(result, NameWord("MEAT")), static_cast<int>(tgt.instanceCount));

  testing::FileView sv, tv, rv;
  ASSERT_TRUE(testing::WalkFile(source.bytes, sv, error)) << error;
  ASSERT_TRUE(testing::WalkFile(target.bytes, tv, error)) << error;
  ASSERT_TRUE(testing::WalkFile(out, rv, error)) << error;
  ASSERT_EQ(rv.objects.size(), tv.objects.size() + 1);
  // (2) and (3): the new object draws like the source object.
  EXPECT_TRUE(SameDrawing(source.bytes, sv.objects[object], source.dataLengths, out, rv.objects.back()));
  EXPECT_TRUE(AlignedPlacement(rv.objects.back()));
  // (4): the target's objects draw as before.
  for (size_t i = 0; i < tv.objects.size(); ++i)
    EXPECT_TRUE(SameDrawing(target.bytes, tv.objects[i], target.dataLengths, out, rv.objects[i])) << "target object " << i;
  ++tally.injected;
}

TEST(XmfProperty, ExtractInjectPreservesWhatObjectsDraw) {
  Tally tally;
  for (uint32_t seed = 0; seed < 4000; ++seed) {
    RunPair(seed, tally);
    if (::testing::Test::HasFatalFailure()) return;
  }
  // The generator must exercise both sides.
  EXPECT_GT(tally.injected, 2000);
  EXPECT_GT(tally.negativeRebase, 20);
  EXPECT_GT(tally.unusedDeclaration, 20);
  EXPECT_GT(tally.fewerInstances, 20);
  std::printf("injected %d, negative rebase %d, unused declaration %d, fewer instances %d\n", tally.injected,
              tally.negativeRebase, tally.unusedDeclaration, tally.fewerInstances);
}

// A copy into a copy: injecting the new object of one result into the next.
TEST(XmfProperty, ArenaContainersTakeWph2Repeatedly) {
  const std::vector<uint8_t> kitchen = testing::BuildArenaContainer(7, true, 96 * 1024);
  XmfContainer src;
  std::string error;
  ASSERT_TRUE(ParseBytes(kitchen, src, error)) << error;
  for (uint32_t seed = 100; seed < 113; ++seed) {
    testing::BuiltContainer arena = testing::BuildContainer(testing::ArenaOptions(seed, false, 96 * 1024));
    XmfContainer tgt;
    ASSERT_TRUE(ParseBytes(arena.bytes, tgt, error)) << error;
    ExtractedObject x;
    ASSERT_TRUE(ExtractObject(src, "WPH2", x, error)) << error;
    ASSERT_FALSE(x.textures.empty());
    ASSERT_TRUE(x.textures[0].hasHeader && x.textures[0].hasPalette);
    std::vector<uint8_t> out;
    ASSERT_TRUE(InjectObject(tgt, x, "MEAT", out, error)) << error;
    XmfContainer result;
    ASSERT_TRUE(ParseBytes(out, result, error)) << error;
    ASSERT_TRUE(ValidateXmf(result, error)) << error;
    ASSERT_GE(FindObject(result, NameWord("MEAT")), 0);
  }
}

}  // namespace
}  // namespace tf::xmf::test
