#pragma once
// XMF model containers: the in-memory file, the skeleton parser and the
// helpers that locate the tail array and the TXMF palette region.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tf::xmf {

inline constexpr uint32_t kNone = 0xFFFFFFFFu;       // no texture, header or palette
inline constexpr uint32_t kNoIdsfMarker = 0xABCDu;   // header marker: no IDSF region
inline constexpr uint32_t kTagSize = 4;               // every section starts with its tag

// Records and the offsets of their fields. Offsets stored in a field are
// relative to the section named beside it.
inline constexpr uint32_t kHeaderSize = 48;
inline constexpr uint32_t kHeaderVersionAt = 3;  // after the magic "XMF"
inline constexpr uint32_t kHeaderInstanceCountAt = 4;
inline constexpr uint32_t kHeaderObjectCountAt = 8;
inline constexpr uint32_t kHeaderMaterialCountAt = 12;
inline constexpr uint32_t kHeaderTextureCountAt = 16;
inline constexpr uint32_t kHeaderIdsfMarkerAt = 20;
inline constexpr uint32_t kHeaderIdsfSizeAt = 24;
inline constexpr uint32_t kHeaderIxmfSizeAt = 28;
inline constexpr uint32_t kHeaderOxmfSizeAt = 32;
inline constexpr uint32_t kHeaderRxmfSizeAt = 36;
inline constexpr uint32_t kHeaderTxmfSizeAt = 40;
inline constexpr uint32_t kHeaderFxmfSizeAt = 44;

inline constexpr uint32_t kInstanceSize = 84;
inline constexpr uint32_t kInstanceInheritedAt = 64;  // a new instance takes the target's first value
inline constexpr uint32_t kInstanceObjectAt = 68;     // OXMF: its own object record
inline constexpr uint32_t kInstanceNameAt = 72;

inline constexpr uint32_t kObjectSize = 76;
inline constexpr uint32_t kObjectPartsAt = 0;  // OXMF
inline constexpr uint32_t kObjectPartCountAt = 4;
inline constexpr uint32_t kObjectIbAt = 8;  // OXMF
inline constexpr uint32_t kObjectDeclarationsAt = 16;  // OXMF
inline constexpr uint32_t kObjectDeclarationCountAt = 20;
inline constexpr uint32_t kObjectInheritedAt[] = {22, 30};  // u16 each: a new object takes object 0's
inline constexpr uint32_t kObjectClearedAt = 24;             // 0 in a new object
inline constexpr uint32_t kObjectSkinningAt = 28;
inline constexpr uint32_t kObjectNameAt = 32;

inline constexpr uint32_t kPartSize = 84;
inline constexpr uint32_t kPartOwnerAt = 0;  // OXMF
inline constexpr uint32_t kPartFirstCountAt = 8;
inline constexpr uint32_t kPartSecondCountAt = 12;
inline constexpr uint32_t kPartStartIndexAt = 16;
inline constexpr uint32_t kPartIndexedAt = 20;
inline constexpr uint32_t kPartMaterialAt = 24;     // RXMF
inline constexpr uint32_t kPartDeclarationAt = 64;  // OXMF
inline constexpr uint32_t kPartBaseVertexAt = 68;

inline constexpr uint32_t kDeclarationSize = 80;
inline constexpr uint32_t kDeclarationVbAt = 4;  // OXMF: a VB resource of the tail array
inline constexpr uint32_t kDeclarationElementsAt = 16;
inline constexpr uint32_t kDeclarationElementCount = 16;
// A declaration element's size in the vertex by its code (unknown codes add
// nothing); the code kDeclarationEndCode ends the list.
inline constexpr std::array<uint8_t, 16> kElementSizes = {0, 12, 8, 12, 12, 4, 4, 4, 4, 8, 12, 0, 4, 8, 4, 6};
inline constexpr uint32_t kDeclarationEndCode = 11;

// IB, VB and palette resources: the IB's index words (OXMF), the VB's vertex
// data and the palette's data (FXMF).
inline constexpr uint32_t kResourceSize = 12;
inline constexpr uint32_t kResourceOffsetAt = 4;

inline constexpr uint32_t kMaterialSize = 80;
inline constexpr uint32_t kMaterialSlotsAt = 8;  // TXMF: texture records or kNone
inline constexpr uint32_t kMaterialSlotCount = 4;

inline constexpr uint32_t kTextureSize = 16;
inline constexpr uint32_t kTextureHeaderAt = 4;   // TXMF, or kNone
inline constexpr uint32_t kTexturePaletteAt = 8;  // TXMF, or kNone

inline constexpr uint32_t kTextureHeaderSize = 20;
inline constexpr uint32_t kTextureHeaderPixelsAt = 4;  // FXMF

using InstanceRecord = std::array<uint8_t, kInstanceSize>;
using ObjectRecord = std::array<uint8_t, kObjectSize>;
using PartRecord = std::array<uint8_t, kPartSize>;
using DeclarationRecord = std::array<uint8_t, kDeclarationSize>;
using ResourceRecord = std::array<uint8_t, kResourceSize>;
using MaterialRecord = std::array<uint8_t, kMaterialSize>;
using TextureRecord = std::array<uint8_t, kTextureSize>;
using TextureHeaderRecord = std::array<uint8_t, kTextureHeaderSize>;

// Section offset of record `index` of an array that follows the section's tag.
inline constexpr uint64_t RecordAt(uint32_t recordSize, uint64_t index) {
  return kTagSize + uint64_t{recordSize} * index;
}

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

// Sum of the element sizes of a declaration record.
uint32_t DeclarationStride(std::span<const uint8_t, kDeclarationSize> declaration);

uint32_t RelocateOxmf(uint32_t x, uint32_t middleStart, uint32_t tailStart, uint32_t grow);

}  // namespace tf::xmf
