#pragma once
// What the XMF tests share: reading words of a file, parsing it, and comparing
// what objects draw with, before and after a copy.
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "xmf/testing/xmf_walk.h"
#include "xmf/xmf_container.h"

namespace tf::xmf::test {

// The u32 at `at`; a failure of the test (and 0) when it is not inside the bytes.
inline uint32_t U32(std::span<const uint8_t> bytes, uint64_t at) {
  uint32_t v = 0;
  if (!ByteReader(bytes).U32(at, v)) ADD_FAILURE() << "no u32 at " << at << " of " << bytes.size() << " bytes";
  return v;
}

inline bool ParseBytes(std::vector<uint8_t> bytes, XmfContainer& c, std::string& error) {
  c = XmfContainer{};
  c.bytes = std::move(bytes);
  return Parse(c, error);
}
// For bytes that must parse.
inline void ParseInto(std::vector<uint8_t> bytes, XmfContainer& c) {
  std::string error;
  ASSERT_TRUE(ParseBytes(std::move(bytes), c, error)) << error;
}

inline bool SameBytes(const std::vector<uint8_t>& a, int64_t atA, const std::vector<uint8_t>& b, int64_t atB,
                      uint64_t n) {
  if (atA < 0 || atB < 0 || atA + n > a.size() || atB + n > b.size()) return false;
  return std::equal(a.begin() + atA, a.begin() + atA + n, b.begin() + atB);
}

// Every part, index word, texture and palette of `after` reaches the bytes that
// `before` reached. Data lengths are those placed in `beforeFile` by the builder.
inline ::testing::AssertionResult SameDrawing(const std::vector<uint8_t>& beforeFile,
                                              const testing::ObjectView& before,
                                              const std::map<uint32_t, uint32_t>& lengths,
                                              const std::vector<uint8_t>& afterFile, const testing::ObjectView& after) {
  if (before.parts.size() != after.parts.size()) return ::testing::AssertionFailure() << "part count differs";
  for (size_t k = 0; k < before.parts.size(); ++k) {
    const testing::PartView& b = before.parts[k];
    const testing::PartView& a = after.parts[k];
    if (b.stride != a.stride) return ::testing::AssertionFailure() << "stride differs in part " << k;
    if (b.vertexAt.size() != a.vertexAt.size()) return ::testing::AssertionFailure() << "index count differs in part " << k;
    for (size_t q = 0; q < b.vertexAt.size(); ++q)
      if (!SameBytes(beforeFile, b.vertexAt[q], afterFile, a.vertexAt[q], b.stride))
        return ::testing::AssertionFailure() << "vertex of index " << q << " differs in part " << k;
    for (int s = 0; s < 4; ++s) {
      const testing::TextureView& bt = b.slots[s];
      const testing::TextureView& at = a.slots[s];
      if (bt.present != at.present || (bt.pixelsAt < 0) != (at.pixelsAt < 0) || (bt.paletteAt < 0) != (at.paletteAt < 0))
        return ::testing::AssertionFailure() << "texture slot " << s << " of part " << k << " changed its shape";
      if (bt.pixelsAt >= 0) {
        auto length = lengths.find(bt.pixelsFxmf);
        if (length == lengths.end()) return ::testing::AssertionFailure() << "pixels at an unknown offset";
        if (!SameBytes(beforeFile, bt.pixelsAt, afterFile, at.pixelsAt, length->second))
          return ::testing::AssertionFailure() << "pixels differ in slot " << s << " of part " << k;
      }
      if (bt.paletteAt >= 0) {
        auto length = lengths.find(bt.paletteFxmf);
        if (length == lengths.end()) return ::testing::AssertionFailure() << "palette at an unknown offset";
        if (!SameBytes(beforeFile, bt.paletteAt, afterFile, at.paletteAt, length->second))
          return ::testing::AssertionFailure() << "palette differs in slot " << s << " of part " << k;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Every vertex window of an injected object starts on a 32-byte step of FXMF,
// every pixel and palette block on a 128-byte step.
inline ::testing::AssertionResult AlignedPlacement(const testing::ObjectView& object) {
  for (size_t k = 0; k < object.parts.size(); ++k) {
    const testing::PartView& p = object.parts[k];
    if (!p.vertexAt.empty() && p.windowFxmf % 32 != 0)
      return ::testing::AssertionFailure() << "vertex window of part " << k << " at " << p.windowFxmf;
    for (int s = 0; s < 4; ++s) {
      const testing::TextureView& t = p.slots[s];
      if (t.pixelsAt >= 0 && t.pixelsFxmf % 128 != 0)
        return ::testing::AssertionFailure() << "pixels of slot " << s << " of part " << k << " at " << t.pixelsFxmf;
      if (t.paletteAt >= 0 && t.paletteFxmf % 128 != 0)
        return ::testing::AssertionFailure() << "palette of slot " << s << " of part " << k << " at " << t.paletteFxmf;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tf::xmf::test
