#include "xmf/xmf_container.h"

#include <array>
#include <climits>
#include <cstring>

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

bool BytesAt(const ByteReader& file, uint64_t offset, const char* text, size_t length) {
  std::span<const uint8_t> bytes;
  return offset <= kMax32 && file.Sub(offset, length, bytes) && std::memcmp(bytes.data(), text, length) == 0;
}
bool TagAt(const ByteReader& file, uint64_t offset, const char* tag) { return BytesAt(file, offset, tag, kTagSize); }

}  // namespace

uint32_t NameWord(const char* name) {
  uint32_t w = 0;
  for (int i = 0; i < 4 && name[i] != '\0'; ++i) w |= static_cast<uint32_t>(static_cast<uint8_t>(name[i])) << (8 * i);
  return w;
}

std::string NameText(uint32_t word) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(word >> (8 * i));
  return s;
}

uint32_t DeclarationStride(std::span<const uint8_t, kDeclarationSize> declaration) {
  const ByteReader r(declaration);
  uint32_t stride = 0;
  for (uint32_t i = 0; i < kDeclarationElementCount; ++i) {
    uint32_t code = 0;
    if (!r.U32(kDeclarationElementsAt + 4 * i, code) || code == kDeclarationEndCode) break;
    if (code < kElementSizes.size()) stride += kElementSizes[code];
  }
  return stride;
}

uint32_t RelocateOxmf(uint32_t x, uint32_t middleStart, uint32_t tailStart, uint32_t grow) {
  if (x < middleStart) return x;
  if (x < tailStart) return x + kObjectSize;
  return x + grow;
}

bool TailStart64(const XmfContainer& c, uint64_t& tail, std::string& errorText) {
  if (c.objectCount == 0) return Fail(errorText, kMsgNoObjects);
  const Section ox = Oxmf(c);
  const uint64_t object0 = RecordAt(kObjectSize, 0);
  uint32_t d0 = 0;
  if (!ox.Has(object0, kObjectSize) || !ox.U32(object0 + kObjectDeclarationsAt, d0))
    return Fail(errorText, kMsgObjectZeroOutside);
  uint32_t t = 0;
  if (uint64_t{d0} + kDeclarationVbAt + 4 > c.oxmfSize || !ox.U32(uint64_t{d0} + kDeclarationVbAt, t))
    return Fail(errorText, kMsgNoDeclarationArray);
  tail = t;
  return true;
}

bool TailStart(const XmfContainer& c, uint32_t& tail, std::string& errorText) {
  uint64_t t = 0;
  if (!TailStart64(c, t, errorText)) return false;
  tail = static_cast<uint32_t>(t);
  return true;
}

uint32_t SharedHeaderCount(const XmfContainer& c) {
  Section tx = Txmf(c);
  uint32_t shared = 0, previous = 0;
  for (uint64_t i = 0; i < c.textureCount; ++i) {
    uint32_t h = 0;
    if (!tx.U32(RecordAt(kTextureSize, i) + kTextureHeaderAt, h)) break;  // records past TXMF: Parse rejects the file
    if (i > 0 && h == previous) ++shared;
    previous = h;
  }
  return shared;
}

uint64_t PaletteStart64(const XmfContainer& c) {
  const uint64_t t = c.textureCount;
  return RecordAt(kTextureSize, t) + uint64_t{kTextureHeaderSize} * (t - SharedHeaderCount(c));
}

uint32_t PaletteRegionStart(const XmfContainer& c) { return static_cast<uint32_t>(PaletteStart64(c)); }

std::vector<uint8_t> CopyRange(const XmfContainer& c, uint32_t offset, uint32_t length) {
  std::span<const uint8_t> bytes;
  if (!ByteReader(c.bytes).Sub(offset, length, bytes)) return {};
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool Parse(XmfContainer& c, std::string& errorText) {
  const std::vector<uint8_t>& b = c.bytes;
  const ByteReader h(b);
  uint8_t version = 0;
  if (!h.Has(0, kHeaderSize) || !BytesAt(h, 0, "XMF", 3)) return Fail(errorText, kMsgNotXmf);
  if (!h.U8(kHeaderVersionAt, version) || version != '1') return Fail(errorText, kMsgNotVersion1);

  uint32_t idsfSizeWord = 0;
  const bool header = h.U32(kHeaderInstanceCountAt, c.instanceCount) && h.U32(kHeaderObjectCountAt, c.objectCount) &&
                      h.U32(kHeaderMaterialCountAt, c.materialCount) && h.U32(kHeaderTextureCountAt, c.textureCount) &&
                      h.U32(kHeaderIdsfMarkerAt, c.idsfMarker) && h.U32(kHeaderIdsfSizeAt, idsfSizeWord) &&
                      h.U32(kHeaderIxmfSizeAt, c.ixmfSize) && h.U32(kHeaderOxmfSizeAt, c.oxmfSize) &&
                      h.U32(kHeaderRxmfSizeAt, c.rxmfSize) && h.U32(kHeaderTxmfSizeAt, c.txmfSize) &&
                      h.U32(kHeaderFxmfSizeAt, c.fxmfSize);
  if (!header) return Fail(errorText, kMsgNotXmf);
  c.idsfSize = c.idsfMarker == kNoIdsfMarker ? 0 : idsfSizeWord;

  const uint64_t ixmf = kHeaderSize;
  const uint64_t oxmf = ixmf + c.ixmfSize;
  const uint64_t rxmf = oxmf + c.oxmfSize;
  const uint64_t txmf = rxmf + c.rxmfSize;
  const uint64_t idsf = txmf + c.txmfSize;
  const uint64_t fxmf = idsf + c.idsfSize;
  c.ixmfOffset = static_cast<uint32_t>(ixmf);
  c.oxmfOffset = static_cast<uint32_t>(oxmf);
  c.rxmfOffset = static_cast<uint32_t>(rxmf);
  c.txmfOffset = static_cast<uint32_t>(txmf);
  c.idsfOffset = static_cast<uint32_t>(idsf);
  c.fxmfOffset = static_cast<uint32_t>(fxmf);

  struct Tagged {
    uint64_t offset;
    const char* tag;
    const char* message;
  };
  const Tagged sections[] = {{ixmf, "IXMF", kMsgNoIxmfTag},
                             {oxmf, "OXMF", kMsgNoOxmfTag},
                             {rxmf, "RXMF", kMsgNoRxmfTag},
                             {txmf, "TXMF", kMsgNoTxmfTag},
                             {fxmf, "FXMF", kMsgNoFxmfTag}};
  for (const Tagged& s : sections)
    if (!TagAt(h, s.offset, s.tag)) return Fail(errorText, s.message);
  // A region too short for its own tag cannot begin with it.
  if (c.idsfSize != 0 && (c.idsfSize < kTagSize || !TagAt(h, idsf, "IDSF"))) return Fail(errorText, kMsgNoIdsfTag);
  if (fxmf + c.fxmfSize > kMax32 || fxmf + c.fxmfSize != b.size()) return Fail(errorText, kMsgFxmfNotAtEnd);
  if (c.ixmfSize != RecordAt(kInstanceSize, c.instanceCount)) return Fail(errorText, kMsgIxmfNotBare);
  if (c.rxmfSize != RecordAt(kMaterialSize, c.materialCount)) return Fail(errorText, kMsgRxmfNotBare);
  if (RecordAt(kTextureSize, c.textureCount) > c.txmfSize) return Fail(errorText, kMsgTextureRecordOutside);
  const uint64_t paletteStart = PaletteStart64(c);
  if (paletteStart > c.txmfSize || (c.txmfSize - paletteStart) % kResourceSize != 0)
    return Fail(errorText, kMsgPaletteRegion);
  uint64_t tail = 0;
  if (!TailStart64(c, tail, errorText)) return false;
  if (!(c.oxmfSize > tail) || (c.oxmfSize - tail) % kResourceSize != 0) return Fail(errorText, kMsgTailRegion);
  return true;
}

int FindObject(const XmfContainer& c, uint32_t name) {
  const Section ix = Ixmf(c);
  for (uint64_t i = 0; i < c.instanceCount && i <= INT_MAX; ++i) {
    uint32_t w = 0;
    if (!ix.U32(RecordAt(kInstanceSize, i) + kInstanceNameAt, w)) break;
    if (w == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tf::xmf
