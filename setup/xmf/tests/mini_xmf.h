#pragma once
// A one-object container laid out by hand, so that tests can move single fields
// and region borders. Sections stay editable; Assemble writes the header sizes.
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "common/bytes.h"
#include "xmf/tests/xmf_test_util.h"

namespace tf::xmf::test {

struct Sections {
  uint32_t instanceCount = 1, objectCount = 1, materialCount = 1, textureCount = 2;
  uint32_t idsfMarker = 0xABCD, idsfSizeWord = 0;
  std::vector<uint8_t> ixmf, oxmf, rxmf, txmf, idsf, fxmf;
};

// OXMF offsets of the object's pieces, and TXMF region starts.
struct Layout {
  uint32_t parts = 0, decls = 0, ib = 0, words = 0, tail = 0;
  uint32_t headerStart = 0, paletteStart = 0;
  uint32_t vertexData[2] = {0, 0}, pixelData[2] = {0, 0}, paletteData = 0;  // FXMF offsets
};

inline void Set(std::vector<uint8_t>& v, size_t at, uint32_t value) {
  if (!ByteWriter(v).U32(at, value)) ADD_FAILURE() << "no u32 at " << at << " of " << v.size() << " bytes";
}
inline void Set16(std::vector<uint8_t>& v, size_t at, uint16_t value) {
  if (!ByteWriter(v).U16(at, value)) ADD_FAILURE() << "no u16 at " << at << " of " << v.size() << " bytes";
}

inline std::vector<uint8_t> Assemble(const Sections& s) {
  std::vector<uint8_t> out(48, 0);
  std::memcpy(out.data(), "XMF1", 4);
  const uint32_t words[] = {s.instanceCount,
                            s.objectCount,
                            s.materialCount,
                            s.textureCount,
                            s.idsfMarker,
                            s.idsfSizeWord,
                            static_cast<uint32_t>(s.ixmf.size()),
                            static_cast<uint32_t>(s.oxmf.size()),
                            static_cast<uint32_t>(s.rxmf.size()),
                            static_cast<uint32_t>(s.txmf.size()),
                            static_cast<uint32_t>(s.fxmf.size())};
  for (size_t i = 0; i < 11; ++i) Set(out, 4 + 4 * i, words[i]);
  for (const auto* v : {&s.ixmf, &s.oxmf, &s.rxmf, &s.txmf, &s.idsf, &s.fxmf}) out.insert(out.end(), v->begin(), v->end());
  return out;
}

// One object "MINI" with two parts (part k uses declaration k: strides 12 and 8),
// one material with slots {texture 0, none, texture 1, none}; texture 0 has
// header 0 and palette 0, texture 1 header 1 and no palette. Part 0 uses words
// 0..2 of [0 1 2 | 3 0], part 1 words 3..4, base vertex 1 and 2.
// With partsLast the part array is the last piece before the tail.
inline Sections MiniContainer(Layout& l, bool partsLast = false) {
  Sections s;
  s.ixmf = {'I', 'X', 'M', 'F'};
  s.ixmf.resize(4 + 84, 0x11);
  Set(s.ixmf, 4 + 68, 4);
  std::memcpy(s.ixmf.data() + 4 + 72, "MINI", 4);

  std::vector<uint8_t>& o = s.oxmf;
  o = {'O', 'X', 'M', 'F'};
  o.resize(80, 0x22);
  const uint32_t partBytes = 2 * 84, declBytes = 2 * 80, ibBytes = 12, wordBytes = 12;  // 5 words, padded
  uint32_t at = 80;
  if (!partsLast) l.parts = at, at += partBytes;
  l.decls = at, at += declBytes;
  l.ib = at, at += ibBytes;
  l.words = at, at += wordBytes;
  if (partsLast) l.parts = at, at += partBytes;
  l.tail = at;
  o.resize(at + 2 * 12, 0x33);
  Set(o, 4 + 0, l.parts);
  Set16(o, 4 + 4, 2);
  Set(o, 4 + 8, l.ib);
  Set(o, 4 + 16, l.decls);
  Set16(o, 4 + 20, 2);
  Set16(o, 4 + 28, 0);
  std::memcpy(o.data() + 4 + 32, "MINI", 4);
  const uint16_t words[] = {0, 1, 2, 3, 0};
  for (int w = 0; w < 5; ++w) Set16(o, l.words + 2 * w, words[w]);
  Set16(o, l.words + 10, 0);
  Set(o, l.ib + 4, l.words);

  std::vector<uint8_t>& f = s.fxmf;
  f = {'F', 'X', 'M', 'F'};
  auto addData = [&](size_t n, uint8_t seed) {
    const uint32_t offset = static_cast<uint32_t>(f.size());
    for (size_t i = 0; i < n; ++i) f.push_back(static_cast<uint8_t>(seed + i * 7));
    return offset;
  };
  l.vertexData[0] = addData(8 * 12, 1);
  l.vertexData[1] = addData(8 * 8, 2);
  l.pixelData[0] = addData(40, 3);
  l.pixelData[1] = addData(24, 4);
  l.paletteData = addData(16, 5);

  const uint32_t strideCodes[2][3] = {{1, 11, 1}, {2, 11, 0}};  // 12 bytes; 8 bytes
  for (uint32_t j = 0; j < 2; ++j) {
    const uint32_t d = l.decls + 80 * j;
    Set(o, d + 4, l.tail + 12 * j);
    for (int c = 0; c < 16; ++c) Set(o, d + 16 + 4 * c, c < 3 ? strideCodes[j][c] : 0);
    Set(o, l.tail + 12 * j + 4, l.vertexData[j]);
  }
  const uint32_t first[2] = {2, 1}, second[2] = {1, 1}, start[2] = {0, 3}, base[2] = {1, 2};
  for (uint32_t k = 0; k < 2; ++k) {
    const uint32_t p = l.parts + 84 * k;
    Set(o, p + 0, 4);
    Set(o, p + 8, first[k]);
    Set(o, p + 12, second[k]);
    Set(o, p + 16, start[k]);
    Set16(o, p + 20, 1);
    Set(o, p + 24, 4);
    Set(o, p + 64, l.decls + 80 * k);
    Set(o, p + 68, base[k]);
  }

  s.rxmf = {'R', 'X', 'M', 'F'};
  s.rxmf.resize(4 + 80, 0x44);
  const uint32_t slots[4] = {4, 0xFFFFFFFF, 20, 0xFFFFFFFF};
  for (int i = 0; i < 4; ++i) Set(s.rxmf, 4 + 8 + 4 * i, slots[i]);

  std::vector<uint8_t>& t = s.txmf;
  t = {'T', 'X', 'M', 'F'};
  l.headerStart = 4 + 2 * 16;
  l.paletteStart = l.headerStart + 2 * 20;
  t.resize(l.paletteStart + 12, 0x55);
  Set(t, 4 + 4, l.headerStart);
  Set(t, 4 + 8, l.paletteStart);
  Set(t, 20 + 4, l.headerStart + 20);
  Set(t, 20 + 8, 0xFFFFFFFF);
  Set(t, l.headerStart + 4, l.pixelData[0]);
  Set(t, l.headerStart + 20 + 4, l.pixelData[1]);
  Set(t, l.paletteStart + 4, l.paletteData);
  return s;
}

// A change to the mini container's sections, given their layout.
using Edit = std::function<void(Sections&, const Layout&)>;

inline const Edit kUnchanged = [](Sections&, const Layout&) {};

// The mini container with `edit` made, assembled.
inline std::vector<uint8_t> EditedMini(const Edit& edit, bool partsLast = false) {
  Layout l;
  Sections s = MiniContainer(l, partsLast);
  edit(s, l);
  return Assemble(s);
}

}  // namespace tf::xmf::test
