#pragma once
// The resource directory of a PE image in a file's bytes, for tests: found
// through the production PE reader (common/pe_image.h), read with ByteReader
// and changed with ByteWriter. Plain C++, both builds.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/pe_image.h"

namespace tf::test {

// A range of the image: a data directory, a resource's data.
struct PeRange {
  uint32_t rva = 0, size = 0;
};

// The data directories of a PE32 or PE32+ optional header, in table order.
bool ReadDataDirectories(std::span<const uint8_t> image, const PeHeaders& headers, std::vector<PeRange>& out);

inline constexpr uint32_t kResourceDirectory = 2;

// Where the resource directory lies in the file; false when the image has none
// or a section's raw data does not hold all of it.
bool FindResourceDirectory(std::span<const uint8_t> image, uint64_t& fileOffset, uint32_t& size);

// An entry of a resource table: where it lies (from the directory's start) and
// its value: a subtable's offset with the top bit set, or a data entry's offset.
struct ResourceEntry {
  uint32_t at = 0, value = 0;
};

// The entry of integer id `id` (nullopt: the first entry) in the table at
// `table`, an offset from the start of `directory`.
bool FindResourceEntry(std::span<const uint8_t> directory, uint32_t table, std::optional<uint32_t> id,
                       ResourceEntry& out);

// The data of resource type/id (both integer ids) in its first language.
bool FindResourceData(std::span<const uint8_t> image, uint32_t type, uint32_t id, PeRange& out);

// Removes the entry of resource type/id (both integer ids) from an image's
// resource directory, so that no lookup finds that resource; false when the
// image or the entry cannot be found.
bool CutResourceEntry(std::vector<uint8_t>& image, uint16_t type, uint16_t id);

}  // namespace tf::test
