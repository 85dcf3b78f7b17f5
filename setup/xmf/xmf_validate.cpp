#include "xmf/xmf_validate.h"

#include "xmf/xmf_section.h"

namespace tf::xmf {

bool ValidateXmf(const XmfContainer& c, std::string& errorText) {
  uint64_t tail = 0;
  if (!TailStart64(c, tail, errorText)) return false;  // rules 1 and 2
  const Section ix = Ixmf(c), ox = Oxmf(c), rx = Rxmf(c), tx = Txmf(c);
  const uint64_t middle = uint64_t{kObjectSize} * c.objectCount + 4;

  for (uint64_t i = 0; i < c.instanceCount; ++i) {
    uint32_t objectOffset = 0;
    if (!ix.Has(4 + kInstanceSize * i, kInstanceSize) || !ix.U32(4 + kInstanceSize * i + 68, objectOffset))
      return Fail(errorText, kInstanceOutside);
    if (objectOffset != 4 + kObjectSize * i || objectOffset >= middle)
      return Fail(errorText, "an instance does not point at its own object record");
  }

  for (uint64_t i = 0; i < c.objectCount; ++i) {
    const uint64_t r = 4 + kObjectSize * i;
    if (!ox.Has(r, kObjectSize)) return Fail(errorText, kObjectOutside);
    const uint8_t* rec = ox.At(r);
    const uint64_t parts = Get32(rec), partCount = Get16(rec + 4), ib = Get32(rec + 8);
    const uint64_t decls = Get32(rec + 16), declCount = Get16(rec + 20);
    if (parts < middle || parts + kPartSize * partCount > tail)
      return Fail(errorText, "part array outside the middle region");
    if (ib < middle || ib + kResourceSize > tail) return Fail(errorText, "IB resource outside the middle region");
    if (decls < middle || decls + kDeclarationSize * declCount > tail)
      return Fail(errorText, "decl array outside the middle region");
    uint32_t words = 0;
    if (!ox.U32(ib + 4, words)) return Fail(errorText, kIbOutside);
    if (words < middle || words > tail) return Fail(errorText, "index words outside the middle region");

    for (uint64_t j = 0; j < declCount; ++j) {
      uint32_t vb = 0, data = 0;
      if (!ox.U32(decls + kDeclarationSize * j + 4, vb)) return Fail(errorText, kDeclarationOutside);
      if (vb < tail || vb >= c.oxmfSize || (vb - tail) % kResourceSize != 0)
        return Fail(errorText, "VB resource is not in the tail array");
      if (!ox.U32(uint64_t{vb} + 4, data)) return Fail(errorText, kVbOutside);
      if (data >= c.fxmfSize) return Fail(errorText, "VB data past FXMF");
    }

    for (uint64_t k = 0; k < partCount; ++k) {
      const uint64_t p = parts + kPartSize * k;
      if (!ox.Has(p, kPartSize)) return Fail(errorText, kPartOutside);
      const uint8_t* part = ox.At(p);
      const uint64_t decl = Get32(part + 64), material = Get32(part + 24);
      if (decl < decls || decl >= decls + kDeclarationSize * declCount)
        return Fail(errorText, "part declaration outside this object's array");
      if (material < 4 || material >= c.rxmfSize || (material - 4) % kMaterialSize != 0)
        return Fail(errorText, "part material is not a material record");
      const uint64_t used = uint64_t{Get32(part + 8)} + Get32(part + 12) + Get32(part + 16);
      if (words + 2 * used > tail) return Fail(errorText, "part index range runs past the middle region");
    }
  }

  const uint64_t headerStart = uint64_t{kTextureSize} * c.textureCount + 4;
  for (uint64_t i = 0; i < c.materialCount; ++i) {
    const uint64_t m = 4 + kMaterialSize * i;
    if (!rx.Has(m, kMaterialSize)) return Fail(errorText, kMaterialOutside);
    for (int s = 0; s < 4; ++s) {
      const uint64_t slot = Get32(rx.At(m + 8 + 4 * s));
      if (slot == kNone) continue;
      if (slot < 4 || slot >= headerStart || (slot - 4) % kTextureSize != 0)
        return Fail(errorText, "material slot is not a TXMF record");
    }
  }

  const uint64_t paletteStart = PaletteStart64(c);
  for (uint64_t j = 0; j < c.textureCount; ++j) {
    const uint64_t r = 4 + kTextureSize * j;
    if (!tx.Has(r, kTextureSize)) return Fail(errorText, kTextureRecordOutside);
    const uint64_t h = Get32(tx.At(r + 4)), p = Get32(tx.At(r + 8));
    if (h != kNone) {
      if (h < headerStart || h >= paletteStart || (h - headerStart) % kTextureHeaderSize != 0)
        return Fail(errorText, "texture header outside the header region");
      uint32_t pixels = 0;
      if (!tx.Has(h, kTextureHeaderSize) || !tx.U32(h + 4, pixels)) return Fail(errorText, kHeaderOutside);
      if (pixels >= c.fxmfSize) return Fail(errorText, "texture pixels past FXMF");
    }
    if (p != kNone) {
      if (p < paletteStart || p >= c.txmfSize || (p - paletteStart) % kResourceSize != 0)
        return Fail(errorText, "palette outside the palette region");
      uint32_t data = 0;
      if (!tx.Has(p, kResourceSize) || !tx.U32(p + 4, data)) return Fail(errorText, kPaletteOutside);
      if (data >= c.fxmfSize) return Fail(errorText, "palette data past FXMF");
    }
  }
  return true;
}

}  // namespace tf::xmf
