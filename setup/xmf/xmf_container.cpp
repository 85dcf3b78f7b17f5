#include "xmf/xmf_container.h"

#include <array>
#include <climits>
#include <cstring>

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

constexpr std::array<uint8_t, 16> kElementSizes = {0, 12, 8, 12, 12, 4, 4, 4, 4, 8, 12, 0, 4, 8, 4, 6};
constexpr uint32_t kEndCode = 11;
constexpr uint64_t kMax32 = 0xFFFFFFFFull;

bool TagAt(const std::vector<uint8_t>& b, uint64_t offset, const char* tag) {
  return offset <= kMax32 && offset + 4 <= b.size() && std::memcmp(b.data() + offset, tag, 4) == 0;
}

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

uint32_t DeclarationStride(const uint8_t* declaration) {
  uint32_t stride = 0;
  for (int i = 0; i < 16; ++i) {
    uint32_t code = Get32(declaration + 16 + 4 * i);
    if (code == kEndCode) break;
    if (code < kElementSizes.size()) stride += kElementSizes[code];
  }
  return stride;
}

uint32_t RelocateOxmf(uint32_t x, uint32_t middleStart, uint32_t tailStart, uint32_t grow) {
  if (x < middleStart) return x;
  if (x < tailStart) return x + 76;
  return x + grow;
}

bool TailStart64(const XmfContainer& c, uint64_t& tail, std::string& errorText) {
  if (c.objectCount == 0) return Fail(errorText, "container has no objects");
  Section ox = Oxmf(c);
  uint32_t d0 = 0;
  if (!ox.Has(4, kObjectSize) || !ox.U32(20, d0)) return Fail(errorText, kObjectZeroOutside);
  uint32_t t = 0;
  if (uint64_t{d0} + 8 > c.oxmfSize || !ox.U32(uint64_t{d0} + 4, t))
    return Fail(errorText, "object 0 has no usable declaration array");
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
    if (!tx.U32(4 + kTextureSize * i + 4, h)) break;  // records past TXMF: Parse rejects the file
    if (i > 0 && h == previous) ++shared;
    previous = h;
  }
  return shared;
}

uint64_t PaletteStart64(const XmfContainer& c) {
  uint64_t t = c.textureCount;
  return 16 * t + 20 * (t - SharedHeaderCount(c)) + 4;
}

uint32_t PaletteRegionStart(const XmfContainer& c) { return static_cast<uint32_t>(PaletteStart64(c)); }

std::vector<uint8_t> CopyRange(const XmfContainer& c, uint32_t offset, uint32_t length) {
  if (uint64_t{offset} + length > c.bytes.size()) return {};
  return std::vector<uint8_t>(c.bytes.begin() + offset, c.bytes.begin() + offset + length);
}

bool Parse(XmfContainer& c, std::string& errorText) {
  const std::vector<uint8_t>& b = c.bytes;
  if (b.size() < kHeaderSize || std::memcmp(b.data(), "XMF", 3) != 0) return Fail(errorText, "not an XMF container");
  if (b[3] != '1') return Fail(errorText, "only XMF v1 is supported");

  const uint8_t* h = b.data();
  c.instanceCount = Get32(h + 4);
  c.objectCount = Get32(h + 8);
  c.materialCount = Get32(h + 12);
  c.textureCount = Get32(h + 16);
  c.idsfMarker = Get32(h + 20);
  c.idsfSize = c.idsfMarker == kNoIdsfMarker ? 0 : Get32(h + 24);
  c.ixmfSize = Get32(h + 28);
  c.oxmfSize = Get32(h + 32);
  c.rxmfSize = Get32(h + 36);
  c.txmfSize = Get32(h + 40);
  c.fxmfSize = Get32(h + 44);

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
  const Tagged sections[] = {{ixmf, "IXMF", "expected IXMF section tag"},
                             {oxmf, "OXMF", "expected OXMF section tag"},
                             {rxmf, "RXMF", "expected RXMF section tag"},
                             {txmf, "TXMF", "expected TXMF section tag"},
                             {fxmf, "FXMF", "expected FXMF section tag"}};
  for (const Tagged& s : sections)
    if (!TagAt(b, s.offset, s.tag)) return Fail(errorText, s.message);
  // A region too short for its own tag cannot begin with it.
  if (c.idsfSize != 0 && (c.idsfSize < 4 || !TagAt(b, idsf, "IDSF"))) return Fail(errorText, "expected IDSF");
  if (fxmf + c.fxmfSize > kMax32 || fxmf + c.fxmfSize != b.size())
    return Fail(errorText, "FXMF does not end at the end of the file");
  if (c.ixmfSize != uint64_t{kInstanceSize} * c.instanceCount + 4)
    return Fail(errorText, "IXMF is not a bare instance array");
  if (c.rxmfSize != uint64_t{kMaterialSize} * c.materialCount + 4)
    return Fail(errorText, "RXMF is not a bare material array");
  if (uint64_t{kTextureSize} * c.textureCount + 4 > c.txmfSize) return Fail(errorText, kTextureRecordOutside);
  const uint64_t paletteStart = PaletteStart64(c);
  if (paletteStart > c.txmfSize || (c.txmfSize - paletteStart) % kResourceSize != 0)
    return Fail(errorText, "TXMF palette region is not a whole number of resources");
  uint64_t tail = 0;
  if (!TailStart64(c, tail, errorText)) return false;
  if (!(c.oxmfSize > tail) || (c.oxmfSize - tail) % kResourceSize != 0)
    return Fail(errorText, "OXMF VB-resource region is not a multiple of 12");
  return true;
}

int FindObject(const XmfContainer& c, uint32_t name) {
  Section ix = Ixmf(c);
  for (uint64_t i = 0; i < c.instanceCount && i <= INT_MAX; ++i) {
    uint32_t w = 0;
    if (!ix.U32(4 + kInstanceSize * i + 72, w)) break;
    if (w == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tf::xmf
