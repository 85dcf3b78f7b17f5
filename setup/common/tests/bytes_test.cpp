// Writes at offsets known only at run time: inside the buffer they land
// little-endian; anywhere else they change nothing.
#include "common/bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace tf {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ByteWriter, WritesInsideTheBufferOnly) {
  struct Case {
    const char* what;
    int width;  // 2, 4 or 8
    uint64_t offset;
    bool written;
    Bytes after;
  } const kCases[] = {
      {"u16 at the start", 2, 0, true, {0x08, 0x07, 0, 0, 0, 0, 0, 0, 0}},
      {"u32 ending at the last byte", 4, 5, true, {0, 0, 0, 0, 0, 0x08, 0x07, 0x06, 0x05}},
      {"u64 filling all but one byte", 8, 1, true, {0, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
      {"u32 one byte past the end", 4, 6, false, Bytes(9, 0)},
      {"u16 at the end", 2, 9, false, Bytes(9, 0)},
      {"offset past the end", 2, 10, false, Bytes(9, 0)},
      {"offset that wraps with the width", 8, ~0ull - 3, false, Bytes(9, 0)},
  };
  constexpr uint64_t kValue = 0x0102030405060708ull;
  for (const Case& c : kCases) {
    Bytes b(9, 0);
    ByteWriter w(b);
    const bool written = c.width == 2   ? w.U16(c.offset, static_cast<uint16_t>(kValue))
                         : c.width == 4 ? w.U32(c.offset, static_cast<uint32_t>(kValue))
                                        : w.U64(c.offset, kValue);
    EXPECT_EQ(written, c.written) << c.what;
    EXPECT_EQ(b, c.after) << c.what;
  }
  Bytes empty;
  EXPECT_FALSE(ByteWriter(empty).U16(0, 1));
}

TEST(Record, FieldsAndTailAppendInOrder) {
  Record<17> r{};
  PutRecordBytes<0>(r, {'T', 'A', 'G'});
  PutRecordU16<3>(r, 0xA1B2);
  PutRecordU64<5>(r, 0x1122334455667788ull);
  PutRecordU32<13>(r, 0xDEADBEEF);
  EXPECT_EQ(RecordU16<3>(r), 0xA1B2);
  EXPECT_EQ(RecordU32<13>(r), 0xDEADBEEFu);
  Bytes out = {0xEE};
  AppendRecord(out, r, "xy");
  AppendRecord(out, Record<1>{0x7F});
  EXPECT_EQ(out, (Bytes{0xEE, 'T', 'A', 'G', 0xB2, 0xA1, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,
                        0xEF, 0xBE, 0xAD, 0xDE, 'x', 'y', 0x7F}));
}

}  // namespace
}  // namespace tf
