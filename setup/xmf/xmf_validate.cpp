#include "xmf/xmf_validate.h"

#include "xmf/xmf_section.h"

namespace tf::xmf {

bool ValidateXmf(const XmfContainer& c, std::string& errorText) {
  uint64_t tail = 0;
  if (!TailStart64(c, tail, errorText)) return false;  // rules 1 and 2
  const Section ix = Ixmf(c), ox = Oxmf(c), rx = Rxmf(c), tx = Txmf(c);
  const uint64_t middle = RecordAt(kObjectSize, c.objectCount);

  for (uint64_t i = 0; i < c.instanceCount; ++i) {
    InstanceRecord instance;
    if (!ix.Copy(RecordAt(kInstanceSize, i), instance)) return Fail(errorText, kMsgInstanceOutside);
    const uint32_t objectOffset = RecordU32<kInstanceObjectAt>(instance);
    if (objectOffset != RecordAt(kObjectSize, i) || objectOffset >= middle) return Fail(errorText, kMsgInstanceNotOwn);
  }

  for (uint64_t i = 0; i < c.objectCount; ++i) {
    ObjectRecord object;
    if (!ox.Copy(RecordAt(kObjectSize, i), object)) return Fail(errorText, kMsgObjectOutside);
    const ObjectLayout o = LayoutOf(object);
    const uint64_t parts = o.parts, partCount = o.partCount, ib = o.ib;
    const uint64_t decls = o.declarations, declCount = o.declarationCount;
    if (parts < middle || parts + kPartSize * partCount > tail) return Fail(errorText, kMsgPartsOutsideMiddle);
    if (ib < middle || ib + kResourceSize > tail) return Fail(errorText, kMsgIbOutsideMiddle);
    if (decls < middle || decls + kDeclarationSize * declCount > tail) return Fail(errorText, kMsgDeclsOutsideMiddle);
    uint32_t words = 0;
    if (!ox.U32(ib + kResourceOffsetAt, words)) return Fail(errorText, kMsgIbOutside);
    if (words < middle || words > tail) return Fail(errorText, kMsgWordsOutsideMiddle);

    for (uint64_t j = 0; j < declCount; ++j) {
      uint32_t vb = 0, data = 0;
      if (!ox.U32(decls + kDeclarationSize * j + kDeclarationVbAt, vb)) return Fail(errorText, kMsgDeclarationOutside);
      if (vb < tail || vb >= c.oxmfSize || (vb - tail) % kResourceSize != 0) return Fail(errorText, kMsgVbNotInTail);
      if (!ox.U32(uint64_t{vb} + kResourceOffsetAt, data)) return Fail(errorText, kMsgVbOutside);
      if (data >= c.fxmfSize) return Fail(errorText, kMsgVbDataPastFxmf);
    }

    for (uint64_t k = 0; k < partCount; ++k) {
      PartRecord part;
      if (!ox.Copy(parts + kPartSize * k, part)) return Fail(errorText, kMsgPartOutside);
      const uint64_t decl = RecordU32<kPartDeclarationAt>(part), material = RecordU32<kPartMaterialAt>(part);
      if (decl < decls || decl >= decls + kDeclarationSize * declCount)
        return Fail(errorText, kMsgPartDeclarationOutside);
      if (material < kTagSize || material >= c.rxmfSize || (material - kTagSize) % kMaterialSize != 0)
        return Fail(errorText, kMsgPartMaterial);
      const uint64_t used = uint64_t{RecordU32<kPartFirstCountAt>(part)} + RecordU32<kPartSecondCountAt>(part) +
                            RecordU32<kPartStartIndexAt>(part);
      if (words + 2 * used > tail) return Fail(errorText, kMsgPartIndexRange);
    }
  }

  const uint64_t headerStart = RecordAt(kTextureSize, c.textureCount);
  for (uint64_t i = 0; i < c.materialCount; ++i) {
    MaterialRecord material;
    if (!rx.Copy(RecordAt(kMaterialSize, i), material)) return Fail(errorText, kMsgMaterialOutside);
    const ByteReader slots(material);
    for (uint32_t s = 0; s < kMaterialSlotCount; ++s) {
      uint32_t slot = 0;
      if (!slots.U32(kMaterialSlotsAt + 4 * s, slot)) return Fail(errorText, kMsgMaterialOutside);
      if (slot == kNone) continue;
      if (slot < kTagSize || slot >= headerStart || (slot - kTagSize) % kTextureSize != 0)
        return Fail(errorText, kMsgMaterialSlot);
    }
  }

  const uint64_t paletteStart = PaletteStart64(c);
  for (uint64_t j = 0; j < c.textureCount; ++j) {
    TextureRecord texture;
    if (!tx.Copy(RecordAt(kTextureSize, j), texture)) return Fail(errorText, kMsgTextureRecordOutside);
    const uint64_t h = RecordU32<kTextureHeaderAt>(texture), p = RecordU32<kTexturePaletteAt>(texture);
    if (h != kNone) {
      if (h < headerStart || h >= paletteStart || (h - headerStart) % kTextureHeaderSize != 0)
        return Fail(errorText, kMsgHeaderOutsideRegion);
      uint32_t pixels = 0;
      if (!tx.Has(h, kTextureHeaderSize) || !tx.U32(h + kTextureHeaderPixelsAt, pixels))
        return Fail(errorText, kMsgHeaderOutside);
      if (pixels >= c.fxmfSize) return Fail(errorText, kMsgPixelsPastFxmf);
    }
    if (p != kNone) {
      if (p < paletteStart || p >= c.txmfSize || (p - paletteStart) % kResourceSize != 0)
        return Fail(errorText, kMsgPaletteOutsideRegion);
      uint32_t data = 0;
      if (!tx.Has(p, kResourceSize) || !tx.U32(p + kResourceOffsetAt, data)) return Fail(errorText, kMsgPaletteOutside);
      if (data >= c.fxmfSize) return Fail(errorText, kMsgPaletteDataPastFxmf);
    }
  }
  return true;
}

}  // namespace tf::xmf
