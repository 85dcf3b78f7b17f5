// CRC-32: known values, and the sliced and folded forms against a plain bit-by-bit one.
#include "android/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tf::android {
namespace {

// The definition, one bit at a time: the reference the tables must agree with.
uint32_t ReferenceCrc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320 : c >> 1;
  }
  return ~c;
}

TEST(Crc32, KnownValues) {
  struct {
    std::string input;
    uint32_t crc;
  } const kVectors[] = {
      {"", 0x00000000},
      {"a", 0xE8B7BE43},
      {"abc", 0x352441C2},
      {"123456789", 0xCBF43926},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339},
      {std::string(32, '\0'), 0x190A55AD},
      {std::string(32, '\xff'), 0xFF6CAB0B},
  };
  for (const auto& v : kVectors) EXPECT_EQ(Crc32(v.input.data(), v.input.size()), v.crc) << '"' << v.input << '"';
}

TEST(Crc32, EveryLengthAndAlignmentMatchesTheReference) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(300);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t start = 0; start < 9; ++start)
    for (size_t n = 0; start + n <= data.size(); ++n)
      ASSERT_EQ(Crc32(data.data() + start, n), ReferenceCrc32(data.data() + start, n)) << start << "+" << n;
}

TEST(Crc32, ChunkedEqualsOneShot) {
  std::mt19937 rng(11);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  const uint32_t whole = Crc32(data.data(), data.size());
  EXPECT_EQ(whole, ReferenceCrc32(data.data(), data.size()));
  for (int round = 0; round < 20; ++round) {
    uint32_t running = kCrc32Start;
    size_t at = 0;
    while (at < data.size()) {
      // Mostly small and odd chunks, sometimes empty ones, sometimes large ones.
      size_t n = (rng() % 4 == 0) ? rng() % 70000 : rng() % 17;
      n = std::min(n, data.size() - at);
      running = Crc32Update(running, data.data() + at, n);
      at += n;
    }
    ASSERT_EQ(Crc32Finish(running), whole) << "round " << round;
  }
}

// The tests above run the folded form wherever the CPU has it; say which one ran.
TEST(Crc32, LongRunsFoldWhereTheCpuCan) {
#if defined(__x86_64__) || defined(__i386__)
  EXPECT_EQ(Crc32UsesFolding(), __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"));
#else
  EXPECT_FALSE(Crc32UsesFolding());
#endif
}

}  // namespace
}  // namespace tf::android
