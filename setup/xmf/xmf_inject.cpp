#include "xmf/xmf_inject.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>
#include <span>

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

uint64_t RoundUp(uint64_t v, uint64_t to) { return (v + to - 1) / to * to; }

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Appends [at, at + length) of a section; false when that range is not inside it.
bool AppendFrom(std::vector<uint8_t>& out, const Section& section, uint64_t at, uint64_t length) {
  std::span<const uint8_t> bytes;
  if (!section.Sub(at, length, bytes)) return false;
  Append(out, bytes);
  return true;
}

// Replaces the word at out[at] by change(word); false when it is not inside out.
template <typename Change>
bool Rewrite32(std::vector<uint8_t>& out, uint64_t at, Change change) {
  uint32_t word = 0;
  return ByteReader(out).U32(at, word) && ByteWriter(out).U32(at, change(word));
}

template <typename Map>
bool Lookup(const Map& map, uint32_t key, uint32_t& value) {
  auto found = map.find(key);
  if (found == map.end()) return false;
  value = found->second;
  return true;
}

bool Inject(const XmfContainer& target, const ExtractedObject& x, const std::string& newName,
            std::vector<uint8_t>& out, std::string& e) {
  if (newName.size() != 4) return Fail(e, kMsgNameNotFourCharacters);
  const uint32_t name = NameWord(newName.c_str());
  uint64_t tail = 0;
  if (!TailStart64(target, tail, e)) return false;
  const uint64_t middle = RecordAt(kObjectSize, target.objectCount);
  if (middle > tail || tail > target.oxmfSize) return Fail(e, kMsgTailNotAtEnd);
  if (x.source == nullptr || x.strides.size() != x.declarations.size() ||
      x.vertexWindows.size() != x.declarations.size())
    return Fail(e, kMsgIncomplete);
  const XmfContainer& src = *x.source;
  // Callers pass parsed containers; the sections are then inside the files.
  for (const XmfContainer* c : {&target, &src})
    if (!Ixmf(*c).Has(0, c->ixmfSize) || !Oxmf(*c).Has(0, c->oxmfSize) || !Rxmf(*c).Has(0, c->rxmfSize) ||
        !Txmf(*c).Has(0, c->txmfSize) || !Fxmf(*c).Has(0, c->fxmfSize) || !Idsf(*c).Has(0, c->idsfSize))
      return Fail(e, kMsgNotXmf);
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
  if (RecordAt(kTextureSize, t) > target.txmfSize) return Fail(e, kMsgTextureRecordOutside);
  const uint64_t oldSlots = t - SharedHeaderCount(target);
  const uint64_t headerStart = RecordAt(kTextureSize, t), paletteStart = PaletteStart64(target);
  if (paletteStart > target.txmfSize) return Fail(e, kMsgPaletteRegion);
  const uint64_t k = x.textures.size();
  const uint64_t oldPalettes = (target.txmfSize - paletteStart) / kResourceSize;
  const uint64_t newHeaderStart = RecordAt(kTextureSize, t + k);
  // The target's headers move behind the new texture records by this much.
  const uint32_t headerShift = static_cast<uint32_t>(uint64_t{kTextureSize} * k);

  // FXMF appendix: texture and palette data on 128-byte steps, then the vertex windows on 32.
  std::vector<uint8_t> appendix;
  std::map<uint32_t, uint32_t> fxmfMap;
  for (uint32_t o : x.fxmfOrder) {
    auto data = x.fxmfData.find(o);
    if (data == x.fxmfData.end()) return Fail(e, kMsgIncomplete);
    appendix.resize(RoundUp(target.fxmfSize + appendix.size(), 128) - target.fxmfSize, 0);
    fxmfMap[o] = static_cast<uint32_t>(target.fxmfSize + appendix.size());
    Append(appendix, data->second);
    if (target.fxmfSize + appendix.size() > kMax32) return Fail(e, kMsgResultTooLarge);
  }
  std::vector<uint64_t> windowAt(x.vertexWindows.size(), 0);
  for (size_t j = 0; j < x.vertexWindows.size(); ++j) {
    if (x.vertexWindows[j].empty()) continue;
    appendix.resize(RoundUp(target.fxmfSize + appendix.size(), 32) - target.fxmfSize, 0);
    windowAt[j] = target.fxmfSize + appendix.size();
    Append(appendix, x.vertexWindows[j]);
    if (target.fxmfSize + appendix.size() > kMax32) return Fail(e, kMsgResultTooLarge);
  }

  // Texture records, headers and palettes of the new object. A header slot is
  // reserved wherever the palette-region rule counts one: for every header, and
  // for a record without header that follows a record with one (its slot stays
  // zero), so that the new file's palette region starts where its palettes lie.
  std::map<uint32_t, uint32_t> materialMap, textureMap, paletteMap;
  for (size_t i = 0; i < x.materials.size(); ++i)
    materialMap[x.materials[i].sourceOffset] = static_cast<uint32_t>(RecordAt(kMaterialSize, target.materialCount + i));
  for (size_t i = 0; i < x.textures.size(); ++i)
    textureMap[x.textures[i].sourceOffset] = static_cast<uint32_t>(RecordAt(kTextureSize, t + i));
  std::vector<uint32_t> newHeaderOffset(k, kNone);
  uint64_t slot = oldSlots;
  bool havePrevious = t > 0;
  uint32_t previous = 0;
  if (havePrevious) {
    if (!tgtTx.U32(RecordAt(kTextureSize, t - 1) + kTextureHeaderAt, previous))
      return Fail(e, kMsgTextureRecordOutside);
    if (previous != kNone) previous += headerShift;
  }
  std::vector<uint8_t> newHeaders;
  for (size_t i = 0; i < k; ++i) {
    const TextureCopy& tex = x.textures[i];
    if (tex.hasHeader) {
      if (tex.header.size() != kTextureHeaderSize) return Fail(e, kMsgIncomplete);
      newHeaderOffset[i] = static_cast<uint32_t>(newHeaderStart + kTextureHeaderSize * slot++);
      TextureHeaderRecord header;
      std::copy(tex.header.begin(), tex.header.end(), header.begin());
      uint32_t pixels = 0;
      if (!Lookup(fxmfMap, tex.pixelOffset, pixels)) return Fail(e, kMsgIncomplete);
      PutRecordU32<kTextureHeaderPixelsAt>(header, pixels);
      Append(newHeaders, header);
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
    TextureRecord record = tex.record;
    uint32_t palette = kNone;
    if (tex.hasPalette && !Lookup(paletteMap, tex.paletteOffset, palette)) return Fail(e, kMsgIncomplete);
    PutRecordU32<kTextureHeaderAt>(record, newHeaderOffset[i]);
    PutRecordU32<kTexturePaletteAt>(record, palette);
    Append(newTextures, record);
  }
  std::vector<uint8_t> newPalettes;
  for (const PaletteCopy& p : x.palettes) {
    ResourceRecord bytes = p.bytes;
    uint32_t data = 0;
    if (!Lookup(fxmfMap, p.dataOffset, data)) return Fail(e, kMsgIncomplete);
    PutRecordU32<kResourceOffsetAt>(bytes, data);
    Append(newPalettes, bytes);
  }
  std::vector<uint8_t> newMaterials;
  for (const MaterialCopy& m : x.materials) {
    MaterialRecord bytes = m.bytes;
    const ByteReader slots(m.bytes);
    ByteWriter newSlots(bytes);
    for (uint32_t s = 0; s < kMaterialSlotCount; ++s) {
      uint32_t slotValue = 0, mapped = 0;
      if (!slots.U32(kMaterialSlotsAt + 4 * s, slotValue)) return Fail(e, kMsgIncomplete);
      if (slotValue == kNone) continue;
      if (!Lookup(textureMap, slotValue, mapped) || !newSlots.U32(kMaterialSlotsAt + 4 * s, mapped))
        return Fail(e, kMsgIncomplete);
    }
    Append(newMaterials, bytes);
  }

  // Instance, object record and block of the new object.
  InstanceRecord instance = x.instance;
  PutRecordU32<kInstanceNameAt>(instance, name);
  PutRecordU32<kInstanceObjectAt>(instance, static_cast<uint32_t>(middle));
  if (target.instanceCount > 0) {
    InstanceRecord first;
    if (!tgtIx.Copy(RecordAt(kInstanceSize, 0), first)) return Fail(e, kMsgInstanceOutside);
    PutRecordU32<kInstanceInheritedAt>(instance, RecordU32<kInstanceInheritedAt>(first));
  }  // else the source's own value stays
  ObjectRecord object0;
  if (!tgtOx.Copy(RecordAt(kObjectSize, 0), object0)) return Fail(e, kMsgObjectZeroOutside);
  ObjectRecord object = x.object;
  PutRecordU32<kObjectNameAt>(object, name);
  PutRecordU32<kObjectPartsAt>(object, static_cast<uint32_t>(blockBase));
  PutRecordU32<kObjectIbAt>(object, static_cast<uint32_t>(blockBase + ibPos));
  PutRecordU32<kObjectDeclarationsAt>(object, static_cast<uint32_t>(blockBase + partsEnd));
  PutRecordU32<kObjectClearedAt>(object, 0);
  PutRecordU16<kObjectInheritedAt[0]>(object, RecordU16<kObjectInheritedAt[0]>(object0));
  PutRecordU16<kObjectInheritedAt[1]>(object, RecordU16<kObjectInheritedAt[1]>(object0));

  std::vector<uint8_t> block(blockSize, 0);
  for (size_t p = 0; p < x.parts.size(); ++p) {
    PartRecord part = x.parts[p];
    uint32_t material = 0, decl = 0;
    if (!Lookup(materialMap, RecordU32<kPartMaterialAt>(part), material) ||
        !Lookup(x.declarationIndex, RecordU32<kPartDeclarationAt>(part), decl) || decl >= x.declarations.size())
      return Fail(e, kMsgIncomplete);
    PutRecordU32<kPartOwnerAt>(part, static_cast<uint32_t>(middle));
    PutRecordU32<kPartMaterialAt>(part, material);
    PutRecordU32<kPartDeclarationAt>(part,
                                     static_cast<uint32_t>(blockBase + partsEnd + uint64_t{kDeclarationSize} * decl));
    std::copy(part.begin(), part.end(), block.begin() + kPartSize * p);
  }
  std::vector<uint8_t> newVbs;
  const uint64_t firstNewVb = uint64_t{target.oxmfSize} + grow;
  for (size_t j = 0; j < x.declarations.size(); ++j) {
    DeclarationRecord decl = x.declarations[j];
    if (x.vertexWindows[j].empty()) {
      PutRecordU32<kDeclarationVbAt>(decl, 0);
    } else {
      ResourceRecord resource;
      if (!srcOx.Copy(RecordU32<kDeclarationVbAt>(decl), resource)) return Fail(e, kMsgVbOutside);
      PutRecordU32<kResourceOffsetAt>(resource, static_cast<uint32_t>(windowAt[j]));
      PutRecordU32<kDeclarationVbAt>(decl, static_cast<uint32_t>(firstNewVb + newVbs.size()));
      Append(newVbs, resource);
    }
    std::copy(decl.begin(), decl.end(), block.begin() + partsEnd + kDeclarationSize * j);
  }
  ResourceRecord ib = x.ibResource;
  PutRecordU32<kResourceOffsetAt>(ib, static_cast<uint32_t>(blockBase + wordsPos));
  std::copy(ib.begin(), ib.end(), block.begin() + ibPos);
  ByteWriter blockWriter(block);
  for (size_t w = 0; w < x.indexWords.size(); ++w)
    if (!blockWriter.U16(wordsPos + 2 * w, x.indexWords[w])) return Fail(e, kMsgIncomplete);

  // The target's OXMF with every pointer site moved, in ascending order. The
  // bitmap keeps each site once, so objects that share arrays cost no memory per repeat.
  std::vector<bool> site(target.oxmfSize, false);
  std::vector<uint32_t> sites;
  auto mark = [&](uint64_t at) {
    if (at + 4 > target.oxmfSize) return false;
    if (!site[at]) sites.push_back(static_cast<uint32_t>(at));
    site[at] = true;
    return true;
  };
  for (uint64_t i = 0; i < target.objectCount; ++i) {
    const uint64_t r = RecordAt(kObjectSize, i);
    ObjectRecord rec;
    if (!tgtOx.Copy(r, rec)) return Fail(e, kMsgObjectOutside);
    const ObjectLayout o = LayoutOf(rec);
    if (!mark(r + kObjectPartsAt) || !mark(r + kObjectIbAt) || !mark(r + kObjectDeclarationsAt))
      return Fail(e, kMsgPointerSiteOutside);
    for (uint64_t p = 0; p < o.partCount; ++p)
      if (!mark(o.parts + kPartSize * p + kPartDeclarationAt)) return Fail(e, kMsgPointerSiteOutside);
    if (!mark(o.ib + kResourceOffsetAt)) return Fail(e, kMsgPointerSiteOutside);
    for (uint64_t j = 0; j < o.declarationCount; ++j)
      if (!mark(o.declarations + kDeclarationSize * j + kDeclarationVbAt)) return Fail(e, kMsgPointerSiteOutside);
  }
  const uint32_t m32 = static_cast<uint32_t>(middle), t32 = static_cast<uint32_t>(tail);
  const uint32_t grow32 = static_cast<uint32_t>(grow);
  auto relocate = [&](uint32_t v) { return RelocateOxmf(v, m32, t32, grow32); };
  std::sort(sites.begin(), sites.end());

  // Sizes of the new file.
  const uint64_t ixmfSize = uint64_t{target.ixmfSize} + kInstanceSize;
  const uint64_t oxmfSize = uint64_t{target.oxmfSize} + grow + newVbs.size();
  const uint64_t rxmfSize = uint64_t{target.rxmfSize} + newMaterials.size();
  const uint64_t txmfSize = uint64_t{target.txmfSize} + newTextures.size() + newHeaders.size() + newPalettes.size();
  const uint64_t fxmfSize = uint64_t{target.fxmfSize} + appendix.size();
  const uint64_t total = kHeaderSize + ixmfSize + oxmfSize + rxmfSize + txmfSize + target.idsfSize + fxmfSize;
  if (total > kMax32 || target.instanceCount == kMax32 || target.objectCount == kMax32 ||
      uint64_t{target.materialCount} + x.materials.size() > kMax32 || t + k > kMax32)
    return Fail(e, kMsgResultTooLarge);

  out.clear();
  out.reserve(static_cast<size_t>(total));
  std::array<uint8_t, kHeaderSize> header;
  std::span<const uint8_t> oldHeader;
  if (!ByteReader(target.bytes).Sub(0, kHeaderSize, oldHeader)) return Fail(e, kMsgNotXmf);
  std::copy(oldHeader.begin(), oldHeader.end(), header.begin());
  PutRecordU32<kHeaderInstanceCountAt>(header, target.instanceCount + 1);
  PutRecordU32<kHeaderObjectCountAt>(header, target.objectCount + 1);
  PutRecordU32<kHeaderMaterialCountAt>(header, static_cast<uint32_t>(target.materialCount + x.materials.size()));
  PutRecordU32<kHeaderTextureCountAt>(header, static_cast<uint32_t>(t + k));
  PutRecordU32<kHeaderIxmfSizeAt>(header, static_cast<uint32_t>(ixmfSize));
  PutRecordU32<kHeaderOxmfSizeAt>(header, static_cast<uint32_t>(oxmfSize));
  PutRecordU32<kHeaderRxmfSizeAt>(header, static_cast<uint32_t>(rxmfSize));
  PutRecordU32<kHeaderTxmfSizeAt>(header, static_cast<uint32_t>(txmfSize));
  PutRecordU32<kHeaderFxmfSizeAt>(header, static_cast<uint32_t>(fxmfSize));
  Append(out, header);

  const size_t ixmfAt = out.size();
  if (!AppendFrom(out, tgtIx, 0, target.ixmfSize)) return Fail(e, kMsgNotXmf);
  for (uint64_t i = 0; i < target.instanceCount; ++i)
    if (!Rewrite32(out, ixmfAt + RecordAt(kInstanceSize, i) + kInstanceObjectAt, relocate))
      return Fail(e, kMsgIxmfNotBare);
  Append(out, instance);

  // OXMF, copied as it was; then every pointer site, at its new place, passes through the relocation.
  const size_t oxmfAt = out.size();
  if (!AppendFrom(out, tgtOx, 0, middle)) return Fail(e, kMsgNotXmf);
  Append(out, object);
  if (!AppendFrom(out, tgtOx, middle, tail - middle)) return Fail(e, kMsgNotXmf);
  Append(out, block);
  if (!AppendFrom(out, tgtOx, tail, target.oxmfSize - tail)) return Fail(e, kMsgNotXmf);
  Append(out, newVbs);
  // Byte by byte, since a field of a broken file may straddle M or T and so be split in the output.
  for (uint32_t at : sites) {
    uint64_t where[4];
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4; ++i) {
      where[i] = oxmfAt + relocate(at + i);
      uint8_t byte = 0;
      if (!ByteReader(out).U8(where[i], byte)) return Fail(e, kMsgPointerSiteOutside);
      value |= static_cast<uint32_t>(byte) << (8 * i);
    }
    value = relocate(value);
    for (uint32_t i = 0; i < 4; ++i) out[where[i]] = static_cast<uint8_t>(value >> (8 * i));
  }

  if (!AppendFrom(out, Rxmf(target), 0, target.rxmfSize)) return Fail(e, kMsgNotXmf);
  Append(out, newMaterials);

  // TXMF, with the target's header and palette offsets moved.
  const size_t txmfAt = out.size();
  if (!AppendFrom(out, tgtTx, 0, headerStart)) return Fail(e, kMsgNotXmf);
  const uint32_t paletteShift = static_cast<uint32_t>(newPaletteStart - paletteStart);
  for (uint64_t j = 0; j < t; ++j) {
    const uint64_t rec = txmfAt + RecordAt(kTextureSize, j);
    if (!Rewrite32(out, rec + kTextureHeaderAt, [&](uint32_t h) { return h != kNone ? h + headerShift : h; }) ||
        !Rewrite32(out, rec + kTexturePaletteAt, [&](uint32_t p) { return p != kNone ? p + paletteShift : p; }))
      return Fail(e, kMsgTextureRecordOutside);
  }
  Append(out, newTextures);
  if (!AppendFrom(out, tgtTx, headerStart, paletteStart - headerStart)) return Fail(e, kMsgNotXmf);
  Append(out, newHeaders);
  if (!AppendFrom(out, tgtTx, paletteStart, target.txmfSize - paletteStart)) return Fail(e, kMsgNotXmf);
  Append(out, newPalettes);

  if (!AppendFrom(out, Idsf(target), 0, target.idsfSize) || !AppendFrom(out, Fxmf(target), 0, target.fxmfSize))
    return Fail(e, kMsgNotXmf);
  Append(out, appendix);
  return true;
}

}  // namespace

bool InjectObject(const XmfContainer& target, const ExtractedObject& object, const std::string& newName,
                  std::vector<uint8_t>& out, std::string& errorText) {
  try {
    return Inject(target, object, newName, out, errorText);
  } catch (const std::bad_alloc&) {
    return Fail(errorText, kMsgNoMemory);
  }
}

}  // namespace tf::xmf
