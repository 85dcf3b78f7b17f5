#pragma once
// The headers of a PE image, read from its bytes: the file header, where the
// optional header lies, the section table, and where the image's bytes lie in
// its file. Plain C++: every read goes through ByteReader.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tf {

struct PeSection {
  std::string name;  // NUL padding removed
  uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0, characteristics = 0;
};

struct PeHeaders {
  uint32_t signatureAt = 0;  // "PE\0\0", followed by the file header
  uint16_t machine = 0, characteristics = 0;
  uint64_t optionalHeaderAt = 0;
  uint16_t optionalHeaderSize = 0;
  uint64_t sectionTableAt = 0;
  std::vector<PeSection> sections;
};

inline constexpr uint32_t kPeFileHeaderEnd = 24;  // from the signature: signature and file header
inline constexpr uint32_t kPeSectionSize = 40;

// False for bytes that do not start with a PE image's headers, or whose
// section table does not lie inside them.
[[nodiscard]] bool ReadPeHeaders(std::span<const uint8_t> bytes, PeHeaders& out);

// The file offset of the image bytes [rva, rva + size), when one section holds
// all of them as raw data of the file (not as zero fill); false otherwise, and
// for headers that are not a PE image's.
bool FileOffsetOfRva(std::span<const uint8_t> headers, uint32_t rva, uint32_t size, uint64_t& fileOffset);
bool FileOffsetOfRva(const PeHeaders& headers, uint32_t rva, uint32_t size, uint64_t& fileOffset);

// The DLLs an image names for the loader, as their names are written: those of
// its import directory and those of its delay-load directory (loaded on first
// use), each in table order.
struct PeImports {
  std::vector<std::string> dlls;
  std::vector<std::string> delayLoadedDlls;
};

// Walks both directories of a PE32 or PE32+ image's file bytes. False when
// the headers are not a PE image's, or a directory's tables or names do not
// lie in the file (zero fill included), have no end or hold a name that is
// empty or not printable ASCII.
[[nodiscard]] bool ReadPeImports(std::span<const uint8_t> bytes, PeImports& out);

// Whether two copies of an image's headers describe the same file layout: the
// same file header and section table (the loader may change other fields,
// such as the image base). False when either cannot be read.
bool SameSections(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace tf
