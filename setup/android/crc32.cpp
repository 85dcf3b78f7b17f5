#include "android/crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TF_CRC32_FOLDING 1
#endif

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

namespace {

uint32_t Crc32UpdateSliced(uint32_t running, const uint8_t* p, size_t length) {
  const auto& t = Tables().t;
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

#ifdef TF_CRC32_FOLDING
constexpr size_t kFoldMinimum = 64;

// Folding with carry-less multiplication: four 128-bit lanes folded 64 bytes
// at a time, then into one lane, 16 bytes at a time, and a Barrett reduction
// to 32 bits. The constants are powers of x modulo the bit-reflected
// polynomial. `length` is a multiple of 16 and at least 64.
#define TF_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

TF_FOLDING_TARGET inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x times the two constants of k (high and low halves), plus the next 16 bytes.
TF_FOLDING_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)), next);
}

TF_FOLDING_TARGET uint32_t Crc32UpdateFolded(uint32_t running, const uint8_t* p, size_t length) {
  alignas(16) static const uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static const uint64_t poly[] = {0x01db710641, 0x01f7011641};
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(running)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  p += 64;
  length -= 64;
  for (; length >= 64; p += 64, length -= 64) {
    x1 = Fold(x1, k, Load(p));
    x2 = Fold(x2, k, Load(p + 16));
    x3 = Fold(x3, k, Load(p + 32));
    x4 = Fold(x4, k, Load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  for (; length >= 16; p += 16, length -= 16) x1 = Fold(x1, k, Load(p));

  // 128 bits to 64, then the Barrett reduction.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), x2);
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), k, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, x2), 1));
}

bool CpuCanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}
#endif

}  // namespace

bool Crc32UsesFolding() {
#ifdef TF_CRC32_FOLDING
  return CpuCanFold();
#else
  return false;
#endif
}

uint32_t Crc32Update(uint32_t running, const void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
#ifdef TF_CRC32_FOLDING
  if (length >= kFoldMinimum && CpuCanFold()) {
    const size_t folded = length & ~size_t{15};
    running = Crc32UpdateFolded(running, p, folded);
    p += folded;
    length -= folded;
  }
#endif
  return Crc32UpdateSliced(running, p, length);
}

}  // namespace tf::android
