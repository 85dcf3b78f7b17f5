#include "android/crc32.h"

#include <array>

namespace tf::android {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320;
constexpr int kSlices = 8;

// Slicing-by-8: table[0] is the plain byte table; table[k][b] is the CRC of
// byte b followed by k zero bytes, so eight bytes fold in with eight lookups.
struct Crc32Tables {
  std::array<std::array<uint32_t, 256>, kSlices> t;
  Crc32Tables() {
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t c = b;
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
      t[0][b] = c;
    }
    for (int k = 1; k < kSlices; ++k)
      for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  }
};

// Built on first use; the initialisation of a function-local static is thread-safe.
const Crc32Tables& Tables() {
  static const Crc32Tables tables;
  return tables;
}

}  // namespace

uint32_t Crc32Update(uint32_t running, const void* data, size_t length) {
  const auto& t = Tables().t;
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t c = running;
  while (length >= 8) {
    // Little-endian assembly of the words, so the result holds on any host.
    uint32_t lo = c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    p += 8;
    length -= 8;
  }
  while (length-- > 0) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
  return c;
}

}  // namespace tf::android
