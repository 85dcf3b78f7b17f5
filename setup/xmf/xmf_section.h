#pragma once
// Reads relative to one section of a container: every access must lie inside
// the section and inside the file, whatever offset the file supplies.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "common/bytes.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_messages.h"

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
  // The bytes [at, at + length) of the section.
  bool Sub(uint64_t at, uint64_t length, std::span<const uint8_t>& out) const {
    return Has(at, length) && file.Sub(offset + at, length, out);
  }
  // A copy of the record that starts at `at`.
  template <size_t N>
  bool Copy(uint64_t at, std::array<uint8_t, N>& out) const {
    std::span<const uint8_t> bytes;
    if (!Sub(at, N, bytes)) return false;
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return true;
  }
};

inline Section MakeSection(const XmfContainer& c, uint64_t offset, uint64_t size) {
  return Section{ByteReader(c.bytes), offset, size};
}
inline Section Ixmf(const XmfContainer& c) { return MakeSection(c, c.ixmfOffset, c.ixmfSize); }
inline Section Oxmf(const XmfContainer& c) { return MakeSection(c, c.oxmfOffset, c.oxmfSize); }
inline Section Rxmf(const XmfContainer& c) { return MakeSection(c, c.rxmfOffset, c.rxmfSize); }
inline Section Txmf(const XmfContainer& c) { return MakeSection(c, c.txmfOffset, c.txmfSize); }
inline Section Idsf(const XmfContainer& c) { return MakeSection(c, c.idsfOffset, c.idsfSize); }
inline Section Fxmf(const XmfContainer& c) { return MakeSection(c, c.fxmfOffset, c.fxmfSize); }

// Where an object record's arrays lie (OXMF offsets) and how long they are.
struct ObjectLayout {
  uint64_t parts = 0, partCount = 0;
  uint64_t ib = 0;
  uint64_t declarations = 0, declarationCount = 0;
};
inline ObjectLayout LayoutOf(const ObjectRecord& r) {
  return {RecordU32<kObjectPartsAt>(r), RecordU16<kObjectPartCountAt>(r), RecordU32<kObjectIbAt>(r),
          RecordU32<kObjectDeclarationsAt>(r), RecordU16<kObjectDeclarationCountAt>(r)};
}

inline bool Fail(std::string& errorText, const char* message) {
  errorText = message;
  return false;
}

// Palette region start without wrap-around (H of the TXMF layout).
uint64_t PaletteStart64(const XmfContainer& c);
// Object 0's record must lie inside OXMF before its declaration array is read.
bool TailStart64(const XmfContainer& c, uint64_t& tail, std::string& errorText);

}  // namespace tf::xmf
