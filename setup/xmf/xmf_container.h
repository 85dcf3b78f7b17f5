#pragma once
// XMF model containers: the in-memory file, the skeleton parser and the
// helpers that locate the tail array and the TXMF palette region.
#include <cstdint>
#include <string>
#include <vector>

namespace tf::xmf {

inline constexpr uint32_t kNone = 0xFFFFFFFFu;       // no texture, header or palette
inline constexpr uint32_t kNoIdsfMarker = 0xABCDu;   // header marker: no IDSF region
inline constexpr uint32_t kHeaderSize = 48;
inline constexpr uint32_t kInstanceSize = 84;
inline constexpr uint32_t kObjectSize = 76;
inline constexpr uint32_t kPartSize = 84;
inline constexpr uint32_t kDeclarationSize = 80;
inline constexpr uint32_t kResourceSize = 12;         // IB, VB and palette resources
inline constexpr uint32_t kMaterialSize = 80;
inline constexpr uint32_t kTextureSize = 16;
inline constexpr uint32_t kTextureHeaderSize = 20;

struct XmfContainer {
  std::vector<uint8_t> bytes;
  uint32_t instanceCount = 0;
  uint32_t objectCount = 0;
  uint32_t materialCount = 0;
  uint32_t textureCount = 0;
  uint32_t idsfMarker = 0;
  uint32_t idsfSize = 0;  // effective size: 0 when idsfMarker is kNoIdsfMarker
  uint32_t ixmfSize = 0;
  uint32_t oxmfSize = 0;
  uint32_t rxmfSize = 0;
  uint32_t txmfSize = 0;
  uint32_t fxmfSize = 0;
  uint32_t ixmfOffset = 0;
  uint32_t oxmfOffset = 0;
  uint32_t rxmfOffset = 0;
  uint32_t txmfOffset = 0;
  uint32_t idsfOffset = 0;
  uint32_t fxmfOffset = 0;
};

// Object names are 4 ASCII characters stored first character lowest.
uint32_t NameWord(const char* name);
std::string NameText(uint32_t word);

bool Parse(XmfContainer& c, std::string& errorText);
int FindObject(const XmfContainer& c, uint32_t name);
bool TailStart(const XmfContainer& c, uint32_t& tail, std::string& errorText);
uint32_t SharedHeaderCount(const XmfContainer& c);
uint32_t PaletteRegionStart(const XmfContainer& c);
// The bytes [offset, offset + length) of the file; empty when the range is not inside it.
std::vector<uint8_t> CopyRange(const XmfContainer& c, uint32_t offset, uint32_t length);

// Sum of the element sizes of an 80-byte declaration record.
uint32_t DeclarationStride(const uint8_t* declaration);

uint32_t RelocateOxmf(uint32_t x, uint32_t middleStart, uint32_t tailStart, uint32_t grow);

}  // namespace tf::xmf
