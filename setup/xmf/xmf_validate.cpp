#include "xmf/xmf_validate.h"

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

// OXMF's regions: the object records end at `middle`, the VB-resource array starts at `tail`.
struct OxmfRegions {
  uint64_t middle = 0;
  uint64_t tail = 0;
};

bool CheckInstances(const XmfContainer& c, const OxmfRegions& regions, std::string& errorText) {
  const Section ixmf = Ixmf(c);
  for (uint64_t i = 0; i < c.instanceCount; ++i) {
    InstanceRecord instance;
    if (!ixmf.Copy(RecordAt(kInstanceSize, i), instance)) return Fail(errorText, kMsgInstanceOutside);
    const uint32_t objectOffset = RecordU32<kInstanceObjectAt>(instance);
    if (objectOffset != RecordAt(kObjectSize, i) || objectOffset >= regions.middle)
      return Fail(errorText, kMsgInstanceNotOwn);
  }
  return true;
}

// The object's arrays and index words lie in the middle region; `words` is where the index words start.
bool CheckObjectArrays(const Section& oxmf, const ObjectLayout& layout, const OxmfRegions& regions, uint32_t& words,
                       std::string& errorText) {
  const uint64_t middle = regions.middle, tail = regions.tail;
  if (layout.parts < middle || layout.parts + kPartSize * layout.partCount > tail)
    return Fail(errorText, kMsgPartsOutsideMiddle);
  if (layout.ib < middle || layout.ib + kResourceSize > tail) return Fail(errorText, kMsgIbOutsideMiddle);
  if (layout.declarations < middle || layout.declarations + kDeclarationSize * layout.declarationCount > tail)
    return Fail(errorText, kMsgDeclsOutsideMiddle);
  if (!oxmf.U32(layout.ib + kResourceOffsetAt, words)) return Fail(errorText, kMsgIbOutside);
  if (words < middle || words > tail) return Fail(errorText, kMsgWordsOutsideMiddle);
  return true;
}

// Each declaration names a VB resource of the tail array, whose data starts inside FXMF.
bool CheckDeclarations(const XmfContainer& c, const Section& oxmf, const ObjectLayout& layout, uint64_t tail,
                       std::string& errorText) {
  for (uint64_t j = 0; j < layout.declarationCount; ++j) {
    uint32_t vb = 0, data = 0;
    if (!oxmf.U32(layout.declarations + kDeclarationSize * j + kDeclarationVbAt, vb))
      return Fail(errorText, kMsgDeclarationOutside);
    if (vb < tail || vb >= c.oxmfSize || (vb - tail) % kResourceSize != 0) return Fail(errorText, kMsgVbNotInTail);
    if (!oxmf.U32(uint64_t{vb} + kResourceOffsetAt, data)) return Fail(errorText, kMsgVbOutside);
    if (data >= c.fxmfSize) return Fail(errorText, kMsgVbDataPastFxmf);
  }
  return true;
}

// Each part names one of the object's declarations and a material record, and
// its index range ends inside the middle region.
bool CheckParts(const XmfContainer& c, const Section& oxmf, const ObjectLayout& layout, uint32_t words, uint64_t tail,
                std::string& errorText) {
  const uint64_t declarationsEnd = layout.declarations + kDeclarationSize * layout.declarationCount;
  for (uint64_t k = 0; k < layout.partCount; ++k) {
    PartRecord part;
    if (!oxmf.Copy(layout.parts + kPartSize * k, part)) return Fail(errorText, kMsgPartOutside);
    const uint64_t declaration = RecordU32<kPartDeclarationAt>(part), material = RecordU32<kPartMaterialAt>(part);
    if (declaration < layout.declarations || declaration >= declarationsEnd)
      return Fail(errorText, kMsgPartDeclarationOutside);
    if (material < kTagSize || material >= c.rxmfSize || (material - kTagSize) % kMaterialSize != 0)
      return Fail(errorText, kMsgPartMaterial);
    const uint64_t used = uint64_t{RecordU32<kPartFirstCountAt>(part)} + RecordU32<kPartSecondCountAt>(part) +
                          RecordU32<kPartStartIndexAt>(part);
    if (words + 2 * used > tail) return Fail(errorText, kMsgPartIndexRange);
  }
  return true;
}

bool CheckObjects(const XmfContainer& c, const OxmfRegions& regions, std::string& errorText) {
  const Section oxmf = Oxmf(c);
  for (uint64_t i = 0; i < c.objectCount; ++i) {
    ObjectRecord object;
    if (!oxmf.Copy(RecordAt(kObjectSize, i), object)) return Fail(errorText, kMsgObjectOutside);
    const ObjectLayout layout = LayoutOf(object);
    uint32_t words = 0;
    if (!CheckObjectArrays(oxmf, layout, regions, words, errorText) ||
        !CheckDeclarations(c, oxmf, layout, regions.tail, errorText) ||
        !CheckParts(c, oxmf, layout, words, regions.tail, errorText))
      return false;
  }
  return true;
}

// Every texture slot of every material is empty or a texture record.
bool CheckMaterials(const XmfContainer& c, std::string& errorText) {
  const Section rxmf = Rxmf(c);
  const uint64_t headerStart = RecordAt(kTextureSize, c.textureCount);
  for (uint64_t i = 0; i < c.materialCount; ++i) {
    MaterialRecord material;
    if (!rxmf.Copy(RecordAt(kMaterialSize, i), material)) return Fail(errorText, kMsgMaterialOutside);
    const ByteReader slots(material);
    for (uint32_t s = 0; s < kMaterialSlotCount; ++s) {
      uint32_t slot = 0;
      if (!slots.U32(kMaterialSlotsAt + 4 * s, slot)) return Fail(errorText, kMsgMaterialOutside);
      if (slot == kNone) continue;
      if (slot < kTagSize || slot >= headerStart || (slot - kTagSize) % kTextureSize != 0)
        return Fail(errorText, kMsgMaterialSlot);
    }
  }
  return true;
}

// A texture record's header and palette lie in their regions, and their data starts inside FXMF.
bool CheckTexture(const XmfContainer& c, const TextureRecord& texture, uint64_t headerStart, uint64_t paletteStart,
                  std::string& errorText) {
  const Section txmf = Txmf(c);
  const uint64_t headerAt = RecordU32<kTextureHeaderAt>(texture), paletteAt = RecordU32<kTexturePaletteAt>(texture);
  if (headerAt != kNone) {
    if (headerAt < headerStart || headerAt >= paletteStart || (headerAt - headerStart) % kTextureHeaderSize != 0)
      return Fail(errorText, kMsgHeaderOutsideRegion);
    uint32_t pixels = 0;
    if (!txmf.Has(headerAt, kTextureHeaderSize) || !txmf.U32(headerAt + kTextureHeaderPixelsAt, pixels))
      return Fail(errorText, kMsgHeaderOutside);
    if (pixels >= c.fxmfSize) return Fail(errorText, kMsgPixelsPastFxmf);
  }
  if (paletteAt != kNone) {
    if (paletteAt < paletteStart || paletteAt >= c.txmfSize || (paletteAt - paletteStart) % kResourceSize != 0)
      return Fail(errorText, kMsgPaletteOutsideRegion);
    uint32_t data = 0;
    if (!txmf.Has(paletteAt, kResourceSize) || !txmf.U32(paletteAt + kResourceOffsetAt, data))
      return Fail(errorText, kMsgPaletteOutside);
    if (data >= c.fxmfSize) return Fail(errorText, kMsgPaletteDataPastFxmf);
  }
  return true;
}

bool CheckTextures(const XmfContainer& c, std::string& errorText) {
  const Section txmf = Txmf(c);
  const uint64_t headerStart = RecordAt(kTextureSize, c.textureCount);
  const uint64_t paletteStart = PaletteStart64(c);
  for (uint64_t j = 0; j < c.textureCount; ++j) {
    TextureRecord texture;
    if (!txmf.Copy(RecordAt(kTextureSize, j), texture)) return Fail(errorText, kMsgTextureRecordOutside);
    if (!CheckTexture(c, texture, headerStart, paletteStart, errorText)) return false;
  }
  return true;
}

}  // namespace

bool ValidateXmf(const XmfContainer& c, std::string& errorText) {
  OxmfRegions regions;
  if (!TailStart64(c, regions.tail, errorText)) return false;  // rules 1 and 2
  regions.middle = RecordAt(kObjectSize, c.objectCount);
  return CheckInstances(c, regions, errorText) && CheckObjects(c, regions, errorText) &&
         CheckMaterials(c, errorText) && CheckTextures(c, errorText);
}

}  // namespace tf::xmf
