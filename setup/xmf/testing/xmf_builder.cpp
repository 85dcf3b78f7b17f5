#include "xmf/testing/xmf_builder.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "common/bytes.h"
#include "xmf/xmf_container.h"

namespace tf::xmf::testing {
namespace {


// splitmix64: the same sequence with every compiler and library.
struct Rng {
  uint64_t state;
  uint32_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>((uint64_t{Next()} * n) >> 32); }
  uint32_t Range(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  void Fill(std::span<uint8_t> bytes) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(Next());
  }
  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> v(n);
    Fill(v);
    return v;
  }
  template <typename T>
  void Shuffle(std::vector<T>& v) {
    for (size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[Below(static_cast<uint32_t>(i))]);
  }
};

struct Declaration {
  Record<80> record;
  uint32_t stride = 0;
  uint32_t vertexCount = 0;
  size_t vb = 0;  // index into the VB list
};

struct Part {
  Record<84> record;
  uint32_t decl = 0;
  std::vector<uint16_t> words;
};

struct Object {
  Record<76> record;
  uint32_t name = 0;
  std::vector<Declaration> decls;
  std::vector<Part> parts;
  // Filled by the layout:
  uint32_t partsAt = 0, declsAt = 0, ibAt = 0, wordsAt = 0;
  Record<12> ib;
  std::vector<uint16_t> words;
};

struct Vb {
  Record<12> record;
  size_t item = 0;  // FXMF item with its vertex data
};

Declaration MakeDeclaration(Rng& rng, uint32_t maxVertices) {
  Declaration d;
  rng.Fill(d.record);
  const uint32_t codes = rng.Range(1, 16);
  for (uint32_t i = 0; i < 16; ++i) {
    uint32_t code;
    if (i < codes) {
      code = rng.Chance(10) ? rng.Range(16, 300) : rng.Below(16);
      if (code == 11) code = 1;
    } else if (i == codes) {
      code = 11;  // early end; the words after it do not count
    } else {
      code = rng.Next();
    }
    ByteWriter(d.record).U32(16 + 4 * i, code);
  }
  d.stride = DeclarationStride(d.record);
  if (d.stride == 0) {  // only zero-size codes: make the first one a 12-byte element
    PutRecordU32<16>(d.record, 1);
    d.stride = 12;
  }
  d.vertexCount = rng.Range(1, maxVertices);
  return d;
}

}  // namespace

std::string GeneratedName(uint32_t index) {
  const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string s = "o";
  s += digits[(index / 1296) % 36];
  s += digits[(index / 36) % 36];
  s += digits[index % 36];
  return s;
}

BuiltContainer BuildContainer(const BuildOptions& o) {
  Rng rng{uint64_t{o.seed} * 0x2545F4914F6CDD1Dull + 1};
  const uint32_t objectCount = std::max<uint32_t>(1, o.objects);
  const uint32_t instanceCount = std::min(o.instances, objectCount);
  const uint32_t materialCount = std::max<uint32_t>(1, o.materials);
  const uint32_t t = o.textures;
  const bool textured = o.texturedObject >= 0 && static_cast<uint32_t>(o.texturedObject) < objectCount;

  std::vector<std::vector<uint8_t>> items;  // FXMF data, placed later
  auto newItem = [&](size_t n) {
    items.push_back(rng.Bytes(std::max<size_t>(1, n)));
    return items.size() - 1;
  };

  // Textures: header slots in record order, as the palette-region rule counts them.
  struct Slot {
    bool real = false;
    Record<20> bytes;
    size_t item = 0;
  };
  std::vector<Slot> slots;
  std::vector<uint32_t> headerSlot(t, kNone);  // slot index per record, or kNone
  std::vector<size_t> realSlots;
  for (uint32_t i = 0; i < t; ++i) {
    const uint32_t previous = i > 0 ? headerSlot[i - 1] : kNone;
    enum { fresh, same, none, earlier } kind = fresh;
    if (!(textured && i == 0)) {
      if (i > 0 && o.sharedHeaders && rng.Chance(25)) kind = same;
      else if (o.headerlessTextures && rng.Chance(20)) kind = none;
      else if (o.sharedHeaders && realSlots.size() > 1 && rng.Chance(10)) kind = earlier;
    }
    if (kind == same) {
      headerSlot[i] = previous;
    } else if (kind == none) {
      if (i == 0 || previous != kNone) slots.push_back(Slot{});  // counted, left unused
      headerSlot[i] = kNone;
    } else if (kind == earlier) {
      uint32_t pick = static_cast<uint32_t>(realSlots[rng.Below(static_cast<uint32_t>(realSlots.size()))]);
      if (pick == previous) pick = static_cast<uint32_t>(realSlots[0] == previous ? realSlots[1] : realSlots[0]);
      headerSlot[i] = pick;
      slots.push_back(Slot{});  // a new run costs a slot even though it repeats an older header
    } else {
      Slot s;
      s.real = true;
      rng.Fill(s.bytes);
      if (!realSlots.empty() && rng.Chance(10))
        s.item = slots[realSlots[rng.Below(static_cast<uint32_t>(realSlots.size()))]].item;  // shared pixels
      else
        s.item = newItem(rng.Range(1, o.maxPixelBytes));
      headerSlot[i] = static_cast<uint32_t>(slots.size());
      realSlots.push_back(slots.size());
      slots.push_back(s);
    }
  }
  for (Slot& s : slots)
    if (!s.real) rng.Fill(s.bytes);

  struct Palette {
    Record<12> bytes;
    size_t item = 0;
  };
  std::vector<Palette> palettes;
  std::vector<uint32_t> texturePalette(t, kNone);
  auto newPalette = [&]() {
    Palette p;
    rng.Fill(p.bytes);
    p.item = newItem(rng.Range(1, o.maxPaletteBytes));
    palettes.push_back(p);
    return static_cast<uint32_t>(palettes.size() - 1);
  };
  for (uint32_t i = 0; i < t; ++i) {
    if (textured && i == 0) texturePalette[i] = newPalette();
    else if (o.palettelessTextures && rng.Chance(30)) texturePalette[i] = kNone;
    else if (o.sharedPalettes && !palettes.empty() && rng.Chance(35))
      texturePalette[i] = rng.Below(static_cast<uint32_t>(palettes.size()));
    else texturePalette[i] = newPalette();
  }
  if (rng.Chance(30)) newPalette();  // one that no texture names

  const uint32_t headerStart = 16 * t + 4;
  const uint32_t paletteStart = headerStart + 20 * static_cast<uint32_t>(slots.size());

  // Materials.
  std::vector<std::vector<uint8_t>> materials(materialCount);
  for (uint32_t i = 0; i < materialCount; ++i) {
    materials[i] = rng.Bytes(80);
    for (int s = 0; s < 4; ++s) {
      uint32_t slot = kNone;
      if (t > 0 && !rng.Chance(40)) slot = 4 + 16 * rng.Below(t);
      if (textured && i == 0 && s == 0) slot = 4;
      ByteWriter(materials[i]).U32(8 + 4 * s, slot);
    }
  }

  // Objects with their declarations, vertex buffers and parts.
  std::vector<Object> objects(objectCount);
  std::vector<Vb> vbs;
  for (uint32_t oi = 0; oi < objectCount; ++oi) {
    Object& ob = objects[oi];
    rng.Fill(ob.record);
    std::string name = GeneratedName(oi);
    for (const auto& named : o.names)
      if (named.first == oi) name = named.second;
    ob.name = NameWord(name.c_str());
    const bool isTextured = textured && oi == static_cast<uint32_t>(o.texturedObject);
    // Named objects are meant to be copied: they get neither unused declarations nor loose ranges.
    bool isPlain = isTextured;
    for (const auto& named : o.names) isPlain = isPlain || named.first == oi;

    uint32_t partCount = rng.Range(1, std::max<uint32_t>(1, o.maxParts));
    uint32_t declCount = rng.Range(1, std::max<uint32_t>(1, o.maxDeclarations));
    if (!o.sharedDeclarations) declCount = partCount;
    declCount = std::min(declCount, partCount);
    const bool extraDecl = o.unusedDeclarations && !isPlain && rng.Chance(50);
    for (uint32_t j = 0; j < declCount + (extraDecl ? 1 : 0); ++j) {
      Declaration d = MakeDeclaration(rng, o.maxVertices);
      Vb vb;
      rng.Fill(vb.record);
      vb.item = newItem(size_t{d.vertexCount} * d.stride);
      d.vb = vbs.size();
      vbs.push_back(vb);
      ob.decls.push_back(d);
    }

    const bool loose = o.looseIndexRanges && !isPlain;
    const uint32_t lowestWord = o.negativeBaseVertex && rng.Chance(70) ? rng.Range(1, 3000) : 0;
    for (uint32_t k = 0; k < partCount; ++k) {
      Part p;
      rng.Fill(p.record);
      p.decl = k < declCount ? k : rng.Below(declCount);
      const Declaration& d = ob.decls[p.decl];
      const uint32_t n = rng.Range(1, std::max<uint32_t>(1, o.maxPartWords));
      const uint32_t lowVertex = rng.Below(d.vertexCount);
      const uint32_t span = rng.Below(d.vertexCount - lowVertex);
      for (uint32_t q = 0; q < n; ++q) p.words.push_back(static_cast<uint16_t>(lowestWord + rng.Range(0, span)));
      if (!loose || rng.Chance(50)) p.words[rng.Below(n)] = static_cast<uint16_t>(lowestWord);
      const uint32_t first = rng.Below(n + 1);
      PutRecordU32<8>(p.record, first);
      PutRecordU32<12>(p.record, n - first);
      PutRecordU16<20>(p.record, static_cast<uint16_t>(rng.Range(1, 0xFFFF)));  // indexed
      PutRecordU32<24>(p.record, 4 + 80 * (isTextured ? 0 : rng.Below(materialCount)));
      PutRecordU32<68>(p.record, static_cast<uint32_t>(static_cast<int32_t>(lowVertex) - static_cast<int32_t>(lowestWord)));
      ob.parts.push_back(std::move(p));
    }

    // Index words: the parts' ranges in a random order, with unused words around them.
    std::vector<uint32_t> order(partCount);
    for (uint32_t k = 0; k < partCount; ++k) order[k] = k;
    rng.Shuffle(order);
    if (o.indexGaps && rng.Chance(50))
      for (uint32_t g = rng.Range(1, 3); g > 0; --g) ob.words.push_back(static_cast<uint16_t>(rng.Next()));
    for (uint32_t k : order) {
      if (o.indexGaps && rng.Chance(50))
        for (uint32_t g = rng.Range(1, 4); g > 0; --g)
          ob.words.push_back(static_cast<uint16_t>(rng.Range(lowestWord, 0xFFFF)));
      PutRecordU32<16>(ob.parts[k].record, static_cast<uint32_t>(ob.words.size()));
      ob.words.insert(ob.words.end(), ob.parts[k].words.begin(), ob.parts[k].words.end());
    }
    if (o.indexGaps && rng.Chance(50))
      for (uint32_t g = rng.Range(1, 3); g > 0; --g) ob.words.push_back(static_cast<uint16_t>(rng.Next()));
    rng.Fill(ob.ib);
    PutRecordU16<4>(ob.record, static_cast<uint16_t>(partCount));
    PutRecordU16<20>(ob.record, static_cast<uint16_t>(ob.decls.size()));
    PutRecordU16<28>(ob.record, 0);  // not skinned
    PutRecordU32<32>(ob.record, ob.name);
  }
  // A VB resource that no declaration names still adds an FXMF resource boundary.
  if (rng.Chance(40)) {
    Vb vb;
    rng.Fill(vb.record);
    vb.item = newItem(rng.Range(1, 64));
    vbs.push_back(vb);
  }

  // FXMF: the items in a random order, each after random filler.
  std::vector<size_t> itemOrder(items.size());
  for (size_t i = 0; i < items.size(); ++i) itemOrder[i] = i;
  rng.Shuffle(itemOrder);
  std::vector<uint8_t> fxmf = {'F', 'X', 'M', 'F'};
  std::vector<uint32_t> itemAt(items.size());
  BuiltContainer built;
  for (size_t i : itemOrder) {
    std::vector<uint8_t> gap = rng.Bytes(rng.Below(o.maxGap + 1));
    fxmf.insert(fxmf.end(), gap.begin(), gap.end());
    itemAt[i] = static_cast<uint32_t>(fxmf.size());
    built.dataLengths[itemAt[i]] = static_cast<uint32_t>(items[i].size());
    fxmf.insert(fxmf.end(), items[i].begin(), items[i].end());
  }
  if (rng.Chance(50)) {
    std::vector<uint8_t> tail = rng.Bytes(rng.Range(1, 16));
    fxmf.insert(fxmf.end(), tail.begin(), tail.end());
  }

  // TXMF.
  std::vector<uint8_t> txmf = {'T', 'X', 'M', 'F'};
  for (uint32_t i = 0; i < t; ++i) {
    Record<16> rec;
    rng.Fill(rec);
    PutRecordU32<4>(rec, headerSlot[i] == kNone ? kNone : headerStart + 20 * headerSlot[i]);
    PutRecordU32<8>(rec, texturePalette[i] == kNone ? kNone : paletteStart + 12 * texturePalette[i]);
    AppendRecord(txmf, rec);
  }
  for (Slot& s : slots) {
    if (s.real) PutRecordU32<4>(s.bytes, itemAt[s.item]);
    AppendRecord(txmf, s.bytes);
  }
  for (Palette& p : palettes) {
    PutRecordU32<4>(p.bytes, itemAt[p.item]);
    AppendRecord(txmf, p.bytes);
  }

  // RXMF.
  std::vector<uint8_t> rxmf = {'R', 'X', 'M', 'F'};
  for (auto& m : materials) rxmf.insert(rxmf.end(), m.begin(), m.end());

  // OXMF: object records, the middle region in per-object pieces, then the tail.
  std::vector<uint8_t> oxmf(4 + 76 * size_t{objectCount}, 0);
  std::memcpy(oxmf.data(), "OXMF", 4);
  for (Object& ob : objects) {
    int pieces[4] = {0, 1, 2, 3};
    for (int i = 3; i > 0; --i) std::swap(pieces[i], pieces[rng.Below(i + 1)]);
    for (int piece : pieces) {
      oxmf.resize(oxmf.size() + rng.Below(7), 0xCD);
      const uint32_t at = static_cast<uint32_t>(oxmf.size());
      if (piece == 0) {
        ob.partsAt = at;
        oxmf.resize(at + 84 * ob.parts.size());
      } else if (piece == 1) {
        ob.declsAt = at;
        oxmf.resize(at + 80 * ob.decls.size());
      } else if (piece == 2) {
        ob.ibAt = at;
        oxmf.resize(at + 12);
      } else {
        ob.wordsAt = at;
        oxmf.resize(at + 2 * ob.words.size());
      }
    }
  }
  const uint32_t tail = static_cast<uint32_t>(oxmf.size());
  std::vector<size_t> vbOrder;
  for (size_t i = 0; i < vbs.size(); ++i)
    if (i != objects[0].decls[0].vb) vbOrder.push_back(i);
  rng.Shuffle(vbOrder);
  vbOrder.insert(vbOrder.begin(), objects[0].decls[0].vb);  // the first declaration of object 0 fixes the tail start
  std::vector<uint32_t> vbAt(vbs.size());
  for (size_t i : vbOrder) {
    vbAt[i] = static_cast<uint32_t>(oxmf.size());
    PutRecordU32<4>(vbs[i].record, itemAt[vbs[i].item]);
    AppendRecord(oxmf, vbs[i].record);
  }
  for (uint32_t oi = 0; oi < objectCount; ++oi) {
    Object& ob = objects[oi];
    PutRecordU32<0>(ob.record, ob.partsAt);
    PutRecordU32<8>(ob.record, ob.ibAt);
    PutRecordU32<16>(ob.record, ob.declsAt);
    std::memcpy(oxmf.data() + 4 + 76 * oi, ob.record.data(), 76);
    for (size_t k = 0; k < ob.parts.size(); ++k) {
      Part& p = ob.parts[k];
      PutRecordU32<0>(p.record, 4 + 76 * oi);
      PutRecordU32<64>(p.record, ob.declsAt + 80 * p.decl);
      std::memcpy(oxmf.data() + ob.partsAt + 84 * k, p.record.data(), 84);
    }
    for (size_t j = 0; j < ob.decls.size(); ++j) {
      PutRecordU32<4>(ob.decls[j].record, vbAt[ob.decls[j].vb]);
      std::memcpy(oxmf.data() + ob.declsAt + 80 * j, ob.decls[j].record.data(), 80);
    }
    PutRecordU32<4>(ob.ib, ob.wordsAt);
    std::memcpy(oxmf.data() + ob.ibAt, ob.ib.data(), 12);
    for (size_t w = 0; w < ob.words.size(); ++w) ByteWriter(oxmf).U16(ob.wordsAt + 2 * w, ob.words[w]);
  }
  (void)tail;

  // IXMF.
  std::vector<uint8_t> ixmf = {'I', 'X', 'M', 'F'};
  for (uint32_t i = 0; i < instanceCount; ++i) {
    Record<84> rec;
    rng.Fill(rec);
    PutRecordU32<68>(rec, 4 + 76 * i);
    PutRecordU32<72>(rec, objects[i].name);
    AppendRecord(ixmf, rec);
  }

  // IDSF.
  IdsfKind idsf = o.idsf;
  if (idsf == IdsfKind::random) idsf = static_cast<IdsfKind>(1 + rng.Below(3));
  uint32_t marker = rng.Next(), idsfSizeWord = 0;
  std::vector<uint8_t> idsfBytes;
  if (marker == 0xABCD) marker = 1;
  if (idsf == IdsfKind::markerAbcd) {
    marker = 0xABCD;
    idsfSizeWord = rng.Chance(50) ? rng.Next() : 0;  // ignored
  } else if (idsf == IdsfKind::present) {
    idsfBytes = rng.Bytes(4 + rng.Below(64));
    std::memcpy(idsfBytes.data(), "IDSF", 4);
    idsfSizeWord = static_cast<uint32_t>(idsfBytes.size());
  }

  std::vector<uint8_t>& out = built.bytes;
  Record<48> header;
  std::memcpy(header.data(), "XMF1", 4);
  PutRecordU32<4>(header, instanceCount);
  PutRecordU32<8>(header, objectCount);
  PutRecordU32<12>(header, materialCount);
  PutRecordU32<16>(header, t);
  PutRecordU32<20>(header, marker);
  PutRecordU32<24>(header, idsfSizeWord);
  PutRecordU32<28>(header, static_cast<uint32_t>(ixmf.size()));
  PutRecordU32<32>(header, static_cast<uint32_t>(oxmf.size()));
  PutRecordU32<36>(header, static_cast<uint32_t>(rxmf.size()));
  PutRecordU32<40>(header, static_cast<uint32_t>(txmf.size()));
  PutRecordU32<44>(header, static_cast<uint32_t>(fxmf.size()));
  AppendRecord(out, header);
  for (const auto* section : {&ixmf, &oxmf, &rxmf, &txmf, &idsfBytes, &fxmf})
    out.insert(out.end(), section->begin(), section->end());
  return built;
}

BuildOptions ArenaOptions(uint32_t seed, bool withWph2, uint32_t approxBytes) {
  BuildOptions o;
  o.seed = seed;
  const uint32_t units = std::max<uint32_t>(1, approxBytes / (16 * 1024));
  o.objects = 2 + 3 * units;
  o.maxParts = 6;
  o.maxDeclarations = 3;
  o.maxPartWords = 90;
  o.maxVertices = 160;
  o.materials = 2 + units;
  o.textures = 3 + units;
  o.maxPixelBytes = 12 * 1024;
  o.maxPaletteBytes = 1024;
  o.maxGap = 64;
  if (withWph2) {
    const uint32_t at = 1 + seed % (o.objects - 1);
    o.names.push_back({at, "WPH2"});
    o.texturedObject = static_cast<int>(at);
  }
  return o;
}

std::vector<uint8_t> BuildArenaContainer(uint32_t seed, bool withWph2, uint32_t approxBytes) {
  return BuildContainer(ArenaOptions(seed, withWph2, approxBytes)).bytes;
}

}  // namespace tf::xmf::testing
