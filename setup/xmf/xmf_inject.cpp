#include "xmf/xmf_inject.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

uint64_t RoundUp(uint64_t v, uint64_t to) { return (v + to - 1) / to * to; }

void Append(std::vector<uint8_t>& out, const uint8_t* p, uint64_t n) { out.insert(out.end(), p, p + n); }

template <typename Map>
bool Lookup(const Map& map, uint32_t key, uint32_t& value) {
  auto found = map.find(key);
  if (found == map.end()) return false;
  value = found->second;
  return true;
}

bool Inject(const XmfContainer& target, const ExtractedObject& x, const std::string& newName,
            std::vector<uint8_t>& out, std::string& e) {
  if (newName.size() != 4) return Fail(e, "the new name must be exactly 4 characters");
  const uint32_t name = NameWord(newName.c_str());
  uint64_t tail = 0;
  if (!TailStart64(target, tail, e)) return false;
  const uint64_t middle = uint64_t{kObjectSize} * target.objectCount + 4;
  if (middle > tail || tail > target.oxmfSize)
    return Fail(e, "unexpected OXMF layout: the VB-resource array is not at the tail");
  if (x.source == nullptr || x.strides.size() != x.declarations.size() ||
      x.vertexWindows.size() != x.declarations.size())
    return Fail(e, kIncomplete);
  const XmfContainer& src = *x.source;
  // Callers pass parsed containers; the sections are then inside the files.
  for (const XmfContainer* c : {&target, &src})
    if (!Ixmf(*c).Has(0, c->ixmfSize) || !Oxmf(*c).Has(0, c->oxmfSize) || !Rxmf(*c).Has(0, c->rxmfSize) ||
        !Txmf(*c).Has(0, c->txmfSize) || !Fxmf(*c).Has(0, c->fxmfSize) ||
        !MakeSection(*c, c->idsfOffset, c->idsfSize).Has(0, c->idsfSize))
      return Fail(e, "not an XMF container");
  const Section tgtIx = Ixmf(target), tgtOx = Oxmf(target), tgtTx = Txmf(target), srcOx = Oxmf(src);

  // The block that joins the middle region.
  const uint64_t partsEnd = uint64_t{kPartSize} * x.parts.size();
  const uint64_t ibPos = partsEnd + uint64_t{kDeclarationSize} * x.declarations.size();
  const uint64_t wordsPos = RoundUp(ibPos + kResourceSize, 4);
  const uint64_t blockSize = RoundUp(wordsPos + 2 * uint64_t{x.indexWords.size()}, 4);
  const uint64_t grow = blockSize + kObjectSize;
  const uint64_t blockBase = tail + kObjectSize;

  // TXMF layout of the target and of the new file.
  const uint64_t t = target.textureCount;
  if (uint64_t{kTextureSize} * t + 4 > target.txmfSize) return Fail(e, kTextureRecordOutside);
  const uint64_t oldSlots = t - SharedHeaderCount(target);
  const uint64_t headerStart = 16 * t + 4, paletteStart = PaletteStart64(target);
  if (paletteStart > target.txmfSize) return Fail(e, "TXMF palette region is not a whole number of resources");
  const uint64_t k = x.textures.size();
  const uint64_t oldPalettes = (target.txmfSize - paletteStart) / kResourceSize;
  const uint64_t newHeaderStart = 16 * (t + k) + 4;

  // FXMF appendix: texture and palette data on 128-byte steps, then the vertex windows on 32.
  std::vector<uint8_t> appendix;
  std::map<uint32_t, uint32_t> fxmfMap;
  for (uint32_t o : x.fxmfOrder) {
    auto data = x.fxmfData.find(o);
    if (data == x.fxmfData.end()) return Fail(e, kIncomplete);
    appendix.resize(RoundUp(target.fxmfSize + appendix.size(), 128) - target.fxmfSize, 0);
    fxmfMap[o] = static_cast<uint32_t>(target.fxmfSize + appendix.size());
    appendix.insert(appendix.end(), data->second.begin(), data->second.end());
    if (target.fxmfSize + appendix.size() > kMax32) return Fail(e, kResultTooLarge);
  }
  std::vector<uint64_t> windowAt(x.vertexWindows.size(), 0);
  for (size_t j = 0; j < x.vertexWindows.size(); ++j) {
    if (x.vertexWindows[j].empty()) continue;
    appendix.resize(RoundUp(target.fxmfSize + appendix.size(), 32) - target.fxmfSize, 0);
    windowAt[j] = target.fxmfSize + appendix.size();
    appendix.insert(appendix.end(), x.vertexWindows[j].begin(), x.vertexWindows[j].end());
    if (target.fxmfSize + appendix.size() > kMax32) return Fail(e, kResultTooLarge);
  }

  // Texture records, headers and palettes of the new object. A header slot is
  // reserved wherever the palette-region rule counts one: for every header, and
  // for a record without header that follows a record with one (its slot stays
  // zero), so that the new file's palette region starts where its palettes lie.
  std::map<uint32_t, uint32_t> materialMap, textureMap, paletteMap;
  for (size_t i = 0; i < x.materials.size(); ++i)
    materialMap[x.materials[i].sourceOffset] =
        static_cast<uint32_t>(uint64_t{kMaterialSize} * (target.materialCount + i) + 4);
  for (size_t i = 0; i < x.textures.size(); ++i)
    textureMap[x.textures[i].sourceOffset] = static_cast<uint32_t>(16 * (t + i) + 4);
  std::vector<uint32_t> newHeaderOffset(k, kNone);
  uint64_t slot = oldSlots;
  bool havePrevious = t > 0;
  uint32_t previous = 0;
  if (havePrevious) {
    previous = Get32(tgtTx.At(4 + kTextureSize * (t - 1) + 4));
    if (previous != kNone) previous += static_cast<uint32_t>(16 * k);
  }
  std::vector<uint8_t> newHeaders;
  for (size_t i = 0; i < k; ++i) {
    const TextureCopy& tex = x.textures[i];
    if (tex.hasHeader) {
      if (tex.header.size() != kTextureHeaderSize) return Fail(e, kIncomplete);
      newHeaderOffset[i] = static_cast<uint32_t>(newHeaderStart + kTextureHeaderSize * slot++);
      uint8_t header[kTextureHeaderSize];
      std::memcpy(header, tex.header.data(), kTextureHeaderSize);
      uint32_t pixels = 0;
      if (!Lookup(fxmfMap, tex.pixelOffset, pixels)) return Fail(e, kIncomplete);
      PutU32(header + 4, pixels);
      Append(newHeaders, header, kTextureHeaderSize);
    } else if (!havePrevious || previous != kNone) {
      ++slot;
      newHeaders.resize(newHeaders.size() + kTextureHeaderSize, 0);
    }
    havePrevious = true;
    previous = newHeaderOffset[i];
  }
  const uint64_t newPaletteStart = newHeaderStart + kTextureHeaderSize * slot;
  for (size_t i = 0; i < x.palettes.size(); ++i)
    paletteMap[x.palettes[i].sourceOffset] =
        static_cast<uint32_t>(newPaletteStart + kResourceSize * (oldPalettes + i));

  std::vector<uint8_t> newTextures;
  for (size_t i = 0; i < k; ++i) {
    const TextureCopy& tex = x.textures[i];
    std::array<uint8_t, 16> record = tex.record;
    uint32_t palette = kNone;
    if (tex.hasPalette && !Lookup(paletteMap, tex.paletteOffset, palette)) return Fail(e, kIncomplete);
    PutU32(record.data() + 4, newHeaderOffset[i]);
    PutU32(record.data() + 8, palette);
    Append(newTextures, record.data(), record.size());
  }
  std::vector<uint8_t> newPalettes;
  for (const PaletteCopy& p : x.palettes) {
    std::array<uint8_t, 12> bytes = p.bytes;
    uint32_t data = 0;
    if (!Lookup(fxmfMap, p.dataOffset, data)) return Fail(e, kIncomplete);
    PutU32(bytes.data() + 4, data);
    Append(newPalettes, bytes.data(), bytes.size());
  }
  std::vector<uint8_t> newMaterials;
  for (const MaterialCopy& m : x.materials) {
    std::array<uint8_t, 80> bytes = m.bytes;
    for (int s = 0; s < 4; ++s) {
      const uint32_t slotValue = Get32(bytes.data() + 8 + 4 * s);
      uint32_t mapped = 0;
      if (slotValue == kNone) continue;
      if (!Lookup(textureMap, slotValue, mapped)) return Fail(e, kIncomplete);
      PutU32(bytes.data() + 8 + 4 * s, mapped);
    }
    Append(newMaterials, bytes.data(), bytes.size());
  }

  // Instance, object record and block of the new object.
  std::array<uint8_t, 84> instance = x.instance;
  PutU32(instance.data() + 72, name);
  PutU32(instance.data() + 68, static_cast<uint32_t>(middle));
  if (target.instanceCount > 0) {
    if (!tgtIx.Has(4, kInstanceSize)) return Fail(e, kInstanceOutside);
    std::memcpy(instance.data() + 64, tgtIx.At(4 + 64), 4);
  }  // else the source's own value stays
  const uint8_t* object0 = tgtOx.At(4);
  std::array<uint8_t, 76> object = x.object;
  PutU32(object.data() + 32, name);
  PutU32(object.data(), static_cast<uint32_t>(blockBase));
  PutU32(object.data() + 8, static_cast<uint32_t>(blockBase + ibPos));
  PutU32(object.data() + 16, static_cast<uint32_t>(blockBase + partsEnd));
  PutU32(object.data() + 24, 0);
  std::memcpy(object.data() + 22, object0 + 22, 2);
  std::memcpy(object.data() + 30, object0 + 30, 2);

  std::vector<uint8_t> block(blockSize, 0);
  for (size_t p = 0; p < x.parts.size(); ++p) {
    uint8_t* part = block.data() + kPartSize * p;
    std::memcpy(part, x.parts[p].data(), kPartSize);
    uint32_t material = 0, decl = 0;
    if (!Lookup(materialMap, Get32(part + 24), material) || !Lookup(x.declarationIndex, Get32(part + 64), decl) ||
        decl >= x.declarations.size())
      return Fail(e, kIncomplete);
    PutU32(part, static_cast<uint32_t>(middle));
    PutU32(part + 24, material);
    PutU32(part + 64, static_cast<uint32_t>(blockBase + partsEnd + uint64_t{kDeclarationSize} * decl));
  }
  std::vector<uint8_t> newVbs;
  const uint64_t firstNewVb = uint64_t{target.oxmfSize} + grow;
  for (size_t j = 0; j < x.declarations.size(); ++j) {
    uint8_t* decl = block.data() + partsEnd + kDeclarationSize * j;
    std::memcpy(decl, x.declarations[j].data(), kDeclarationSize);
    if (x.vertexWindows[j].empty()) {
      PutU32(decl + 4, 0);
      continue;
    }
    const uint32_t vb = Get32(decl + 4);
    if (!srcOx.Has(vb, kResourceSize)) return Fail(e, kVbOutside);
    uint8_t resource[kResourceSize];
    std::memcpy(resource, srcOx.At(vb), kResourceSize);
    PutU32(resource + 4, static_cast<uint32_t>(windowAt[j]));
    PutU32(decl + 4, static_cast<uint32_t>(firstNewVb + newVbs.size()));
    Append(newVbs, resource, kResourceSize);
  }
  std::memcpy(block.data() + ibPos, x.ibResource.data(), kResourceSize);
  PutU32(block.data() + ibPos + 4, static_cast<uint32_t>(blockBase + wordsPos));
  for (size_t w = 0; w < x.indexWords.size(); ++w) PutU16(block.data() + wordsPos + 2 * w, x.indexWords[w]);

  // The target's OXMF with every pointer site moved, in ascending order. The
  // bitmap keeps each site once, so objects that share arrays cost no memory per repeat.
  const uint8_t* oxmf = tgtOx.At(0);
  std::vector<bool> site(target.oxmfSize, false);
  std::vector<uint32_t> sites;
  auto mark = [&](uint64_t at) {
    if (at + 4 > target.oxmfSize) return false;
    if (!site[at]) sites.push_back(static_cast<uint32_t>(at));
    site[at] = true;
    return true;
  };
  const char* outsideSite = "a pointer site lies outside OXMF";
  for (uint64_t i = 0; i < target.objectCount; ++i) {
    const uint64_t r = 4 + kObjectSize * i;
    const uint8_t* rec = oxmf + r;
    const uint64_t parts = Get32(rec), partCount = Get16(rec + 4), ib = Get32(rec + 8);
    const uint64_t decls = Get32(rec + 16), declCount = Get16(rec + 20);
    if (!mark(r) || !mark(r + 8) || !mark(r + 16)) return Fail(e, outsideSite);
    for (uint64_t p = 0; p < partCount; ++p)
      if (!mark(parts + kPartSize * p + 64)) return Fail(e, outsideSite);
    if (!mark(ib + 4)) return Fail(e, outsideSite);
    for (uint64_t j = 0; j < declCount; ++j)
      if (!mark(decls + kDeclarationSize * j + 4)) return Fail(e, outsideSite);
  }
  const uint32_t m32 = static_cast<uint32_t>(middle), t32 = static_cast<uint32_t>(tail);
  const uint32_t grow32 = static_cast<uint32_t>(grow);
  std::sort(sites.begin(), sites.end());
  const uint8_t* txmf = tgtTx.At(0);

  // Sizes of the new file.
  const uint64_t ixmfSize = uint64_t{target.ixmfSize} + kInstanceSize;
  const uint64_t oxmfSize = uint64_t{target.oxmfSize} + grow + newVbs.size();
  const uint64_t rxmfSize = uint64_t{target.rxmfSize} + newMaterials.size();
  const uint64_t txmfSize = uint64_t{target.txmfSize} + newTextures.size() + newHeaders.size() + newPalettes.size();
  const uint64_t fxmfSize = uint64_t{target.fxmfSize} + appendix.size();
  const uint64_t total = kHeaderSize + ixmfSize + oxmfSize + rxmfSize + txmfSize + target.idsfSize + fxmfSize;
  if (total > kMax32 || target.instanceCount == kMax32 || target.objectCount == kMax32 ||
      uint64_t{target.materialCount} + x.materials.size() > kMax32 || t + k > kMax32)
    return Fail(e, kResultTooLarge);

  out.clear();
  out.reserve(static_cast<size_t>(total));
  uint8_t header[kHeaderSize];
  std::memcpy(header, target.bytes.data(), kHeaderSize);
  PutU32(header + 4, target.instanceCount + 1);
  PutU32(header + 8, target.objectCount + 1);
  PutU32(header + 12, static_cast<uint32_t>(target.materialCount + x.materials.size()));
  PutU32(header + 16, static_cast<uint32_t>(t + k));
  PutU32(header + 28, static_cast<uint32_t>(ixmfSize));
  PutU32(header + 32, static_cast<uint32_t>(oxmfSize));
  PutU32(header + 36, static_cast<uint32_t>(rxmfSize));
  PutU32(header + 40, static_cast<uint32_t>(txmfSize));
  PutU32(header + 44, static_cast<uint32_t>(fxmfSize));
  Append(out, header, kHeaderSize);

  const size_t ixmfAt = out.size();
  Append(out, tgtIx.At(0), target.ixmfSize);
  for (uint64_t i = 0; i < target.instanceCount; ++i) {
    uint8_t* field = out.data() + ixmfAt + 4 + kInstanceSize * i + 68;
    PutU32(field, RelocateOxmf(Get32(field), m32, t32, grow32));
  }
  Append(out, instance.data(), instance.size());

  // OXMF, copied as it was; then every pointer site, at its new place, passes through the relocation.
  const size_t oxmfAt = out.size();
  Append(out, oxmf, middle);
  Append(out, object.data(), object.size());
  Append(out, oxmf + middle, tail - middle);
  Append(out, block.data(), block.size());
  Append(out, oxmf + tail, target.oxmfSize - tail);
  Append(out, newVbs.data(), newVbs.size());
  // Byte by byte, since a field of a broken file may straddle M or T and so be split in the output.
  for (uint32_t at : sites) {
    uint8_t* byte[4];
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4; ++i) {
      byte[i] = out.data() + oxmfAt + RelocateOxmf(at + i, m32, t32, grow32);
      value |= static_cast<uint32_t>(*byte[i]) << (8 * i);
    }
    value = RelocateOxmf(value, m32, t32, grow32);
    for (uint32_t i = 0; i < 4; ++i) *byte[i] = static_cast<uint8_t>(value >> (8 * i));
  }

  Append(out, Rxmf(target).At(0), target.rxmfSize);
  Append(out, newMaterials.data(), newMaterials.size());

  // TXMF, with the target's header and palette offsets moved.
  const size_t txmfAt = out.size();
  Append(out, txmf, headerStart);
  const uint32_t paletteShift = static_cast<uint32_t>(newPaletteStart - paletteStart);
  for (uint64_t j = 0; j < t; ++j) {
    uint8_t* rec = out.data() + txmfAt + 4 + kTextureSize * j;
    const uint32_t h = Get32(rec + 4), p = Get32(rec + 8);
    if (h != kNone) PutU32(rec + 4, h + static_cast<uint32_t>(16 * k));
    if (p != kNone) PutU32(rec + 8, p + paletteShift);
  }
  Append(out, newTextures.data(), newTextures.size());
  Append(out, txmf + headerStart, paletteStart - headerStart);
  Append(out, newHeaders.data(), newHeaders.size());
  Append(out, txmf + paletteStart, target.txmfSize - paletteStart);
  Append(out, newPalettes.data(), newPalettes.size());

  if (target.idsfSize != 0) Append(out, target.bytes.data() + target.idsfOffset, target.idsfSize);
  Append(out, Fxmf(target).At(0), target.fxmfSize);
  Append(out, appendix.data(), appendix.size());
  return true;
}

}  // namespace

bool InjectObject(const XmfContainer& target, const ExtractedObject& object, const std::string& newName,
                  std::vector<uint8_t>& out, std::string& errorText) {
  try {
    return Inject(target, object, newName, out, errorText);
  } catch (const std::bad_alloc&) {
    return Fail(errorText, kNoMemory);
  }
}

}  // namespace tf::xmf
