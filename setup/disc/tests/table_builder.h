#pragma once
// Byte-exact XDVDFS pieces for tests: descriptors, raw directory entries and
// images in memory, so malformed tables can be made on purpose, and the reader
// that serves such an image to the table walk.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/game_edition.h"
#include "disc/xdvdfs_format.h"

namespace tf::testing {

inline constexpr uint64_t kGameTimestamp = kGameVolumeTimestamp;

struct RawEntry {
  std::string name;
  uint32_t sector = 0;
  uint32_t size = 0;
  bool folder = false;
};

// Appends one entry at the table's end (4-byte aligned, 0xFF padding), never
// crossing a 2048-byte block.
inline void AppendEntry(std::vector<uint8_t>& table, const RawEntry& e) {
  size_t length = (e.name.size() + 17) & ~size_t{3};
  size_t inBlock = table.size() % kSectorSize;
  if (inBlock + length > kSectorSize) table.resize(table.size() + (kSectorSize - inBlock), 0xFF);
  size_t at = table.size();
  table.resize(at + length, 0xFF);
  ByteWriter w(table);
  w.U16(at, 0);
  w.U16(at + 2, 0);
  w.U32(at + 4, e.sector);
  w.U32(at + 8, e.size);
  table[at + 12] = e.folder ? 0x10 : 0x00;
  table[at + 13] = static_cast<uint8_t>(e.name.size());
  std::memcpy(&table[at + 14], e.name.data(), e.name.size());
}

inline std::vector<uint8_t> Table(const std::vector<RawEntry>& entries) {
  std::vector<uint8_t> t;
  for (const RawEntry& e : entries) AppendEntry(t, e);
  return t;
}

inline std::vector<uint8_t> Descriptor(uint32_t rootSector, uint32_t rootSize, uint64_t timestamp = kGameTimestamp) {
  std::vector<uint8_t> d(kSectorSize, 0);
  std::memcpy(d.data(), kVolumeMagic, kVolumeMagicSize);
  ByteWriter w(d);
  w.U32(20, rootSector);
  w.U32(24, rootSize);
  w.U64(28, timestamp);
  std::memcpy(d.data() + 2028, kVolumeMagic, kVolumeMagicSize);
  return d;
}

inline constexpr uint32_t kRootSector = 33;

// An image relative to its volume base: bytes placed at chosen sectors.
class VolumeImage {
 public:
  void Put(uint64_t sector, const std::vector<uint8_t>& bytes) { PutAt(sector * kSectorSize, bytes); }
  void PutAt(uint64_t offset, const std::vector<uint8_t>& bytes) {
    if (bytes_.size() < offset + bytes.size()) bytes_.resize(offset + bytes.size(), 0);
    if (bytes.empty()) return;
    std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
  }
  void SetDescriptor(uint32_t rootSector, uint32_t rootSize, uint64_t timestamp = kGameTimestamp) {
    PutAt(kDescriptorOffset, Descriptor(rootSector, rootSize, timestamp));
  }
  // The root table at kRootSector, named by the descriptor with `size` (0: the table's own).
  void SetRoot(const std::vector<uint8_t>& root, uint32_t size = 0) {
    Put(kRootSector, root);
    SetDescriptor(kRootSector, size ? size : static_cast<uint32_t>(root.size()));
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// An image in memory behind ImageReader: counts its reads and can refuse all
// reads after a number of them.
class MemoryReader : public ImageReader {
 public:
  explicit MemoryReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length) override {
    if (readLimit >= 0 && reads >= readLimit) return false;
    ++reads;
    std::span<const uint8_t> range;
    if (!ByteReader(bytes_).Sub(offset, length, range)) return false;
    if (length != 0) std::memcpy(buffer, range.data(), length);
    return true;
  }
  int reads = 0;
  int readLimit = -1;  // reads served before every further one fails; -1: no limit

 private:
  const std::vector<uint8_t>& bytes_;
};

inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    v[i] = static_cast<uint8_t>(x >> 24);
  }
  return v;
}

}  // namespace tf::testing
