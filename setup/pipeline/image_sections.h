#pragma once
// Where bytes of a loaded PE image lie in its file, from the headers' section
// table. Plain C++: the headers are bytes, read through ByteReader.
#include <cstdint>
#include <span>

namespace tf {

// The file offset of the image bytes [rva, rva + size), when one section holds
// all of them as raw data of the file (not as zero fill); false otherwise, and
// for headers that are not a PE image's.
bool FileOffsetOfRva(std::span<const uint8_t> headers, uint32_t rva, uint32_t size, uint64_t& fileOffset);

// Whether two copies of an image's headers describe the same file layout: the
// same file header and section table (the loader may change other fields,
// such as the image base). False when either cannot be read.
bool SameSections(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace tf
