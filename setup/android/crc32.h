#pragma once
// The zip CRC-32 (reflected polynomial 0xEDB88320), one-shot and over chunks.
#include <cstddef>
#include <cstdint>

namespace tf::android {

// Running value before the first chunk; the CRC is its complement after the last.
inline constexpr uint32_t kCrc32Start = 0xFFFFFFFF;

// Feeds one chunk into a running value (not complemented). Chunks may have any
// length; feeding a block in pieces gives the same value as feeding it whole.
uint32_t Crc32Update(uint32_t running, const void* data, size_t length);

// Whether Crc32Update folds long runs with the CPU's carry-less multiply
// (same result; the byte tables serve the rest and other CPUs).
bool Crc32UsesFolding();

inline uint32_t Crc32Finish(uint32_t running) { return ~running; }

// CRC-32 of one block.
inline uint32_t Crc32(const void* data, size_t length) {
  return Crc32Finish(Crc32Update(kCrc32Start, data, length));
}

}  // namespace tf::android
