#pragma once
// Reads relative to one section of a container: every access must lie inside
// the section and inside the file, whatever offset the file supplies.
#include <cstdint>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "xmf/xmf_container.h"

namespace tf::xmf {

struct Section {
  ByteReader file;
  uint64_t offset = 0;
  uint64_t size = 0;

  bool Has(uint64_t at, uint64_t length) const {
    return at <= size && length <= size - at && file.Has(offset + at, length);
  }
  bool U16(uint64_t at, uint16_t& v) const { return Has(at, 2) && file.U16(offset + at, v); }
  bool U32(uint64_t at, uint32_t& v) const { return Has(at, 4) && file.U32(offset + at, v); }
  // Only after Has(at, length).
  const uint8_t* At(uint64_t at) const { return file.Data() + offset + at; }
};

inline Section MakeSection(const XmfContainer& c, uint64_t offset, uint64_t size) {
  return Section{ByteReader(c.bytes), offset, size};
}
inline Section Ixmf(const XmfContainer& c) { return MakeSection(c, c.ixmfOffset, c.ixmfSize); }
inline Section Oxmf(const XmfContainer& c) { return MakeSection(c, c.oxmfOffset, c.oxmfSize); }
inline Section Rxmf(const XmfContainer& c) { return MakeSection(c, c.rxmfOffset, c.rxmfSize); }
inline Section Txmf(const XmfContainer& c) { return MakeSection(c, c.txmfOffset, c.txmfSize); }
inline Section Fxmf(const XmfContainer& c) { return MakeSection(c, c.fxmfOffset, c.fxmfSize); }

inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline bool Fail(std::string& errorText, const char* message) {
  errorText = message;
  return false;
}

// Palette region start without wrap-around (H of the TXMF layout).
uint64_t PaletteStart64(const XmfContainer& c);
// Object 0's record must lie inside OXMF before its declaration array is read.
bool TailStart64(const XmfContainer& c, uint64_t& tail, std::string& errorText);

// Messages for records that a file offset would place outside their section.
inline constexpr const char* kObjectZeroOutside = "object record 0 lies outside OXMF";
inline constexpr const char* kTextureRecordOutside = "a texture record lies outside TXMF";
inline constexpr const char* kInstanceOutside = "an instance record lies outside IXMF";
inline constexpr const char* kObjectOutside = "an object record lies outside OXMF";
inline constexpr const char* kPartOutside = "a part record lies outside OXMF";
inline constexpr const char* kDeclarationOutside = "a declaration record lies outside OXMF";
inline constexpr const char* kIbOutside = "an IB resource lies outside OXMF";
inline constexpr const char* kIndexWordsOutside = "the index words lie outside OXMF";
inline constexpr const char* kVbOutside = "a VB resource lies outside OXMF";
inline constexpr const char* kMaterialOutside = "a material record lies outside RXMF";
inline constexpr const char* kHeaderOutside = "a texture header lies outside TXMF";
inline constexpr const char* kPaletteOutside = "a palette resource lies outside TXMF";
inline constexpr const char* kFxmfResourceOutside = "an FXMF resource lies outside FXMF";
inline constexpr const char* kWindowBeforeFxmf = "a vertex window starts before FXMF";
inline constexpr const char* kObjectTooLarge = "the object's data is too large to copy";
inline constexpr const char* kIncomplete = "the extracted object is incomplete";
inline constexpr const char* kResultTooLarge = "the injected file would be too large";
inline constexpr const char* kNoMemory = "not enough memory";

}  // namespace tf::xmf
