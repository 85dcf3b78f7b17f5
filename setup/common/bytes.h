#pragma once
// Bounds-checked little-endian access to untrusted bytes, and its mirror for writing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tf {

// Every read checks offset and length against the buffer ("remaining >= n"),
// so no arithmetic on file-supplied values can overflow into a bad read.
class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t Size() const { return data_.size(); }
  const uint8_t* Data() const { return data_.data(); }

  [[nodiscard]] bool Has(uint64_t offset, uint64_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }
  [[nodiscard]] bool U8(uint64_t offset, uint8_t& out) const {
    if (!Has(offset, 1)) return false;
    out = data_[offset];
    return true;
  }
  [[nodiscard]] bool U16(uint64_t offset, uint16_t& out) const {
    if (!Has(offset, 2)) return false;
    out = static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
    return true;
  }
  [[nodiscard]] bool U32(uint64_t offset, uint32_t& out) const {
    if (!Has(offset, 4)) return false;
    out = static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
          (static_cast<uint32_t>(data_[offset + 2]) << 16) | (static_cast<uint32_t>(data_[offset + 3]) << 24);
    return true;
  }
  [[nodiscard]] bool U64(uint64_t offset, uint64_t& out) const {
    uint32_t lo = 0, hi = 0;
    if (!U32(offset, lo) || !U32(offset + 4, hi)) return false;
    out = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
  }
  // A view of [offset, offset + length), split off only after its range is checked.
  [[nodiscard]] bool Sub(uint64_t offset, uint64_t length, std::span<const uint8_t>& out) const {
    if (!Has(offset, length)) return false;
    out = data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
    return true;
  }

 private:
  std::span<const uint8_t> data_;
};

namespace detail {
template <typename T>
void StoreLittleEndian(uint8_t* p, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace detail

// The mirror of ByteReader for bytes already in a buffer: a write whose place
// is not inside the buffer changes nothing and returns false.
class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> data) : data_(data) {}

  bool U16(uint64_t offset, uint16_t v) { return Put(offset, v); }
  bool U32(uint64_t offset, uint32_t v) { return Put(offset, v); }
  bool U64(uint64_t offset, uint64_t v) { return Put(offset, v); }

 private:
  template <typename T>
  bool Put(uint64_t offset, T v) {
    if (offset > data_.size() || sizeof(T) > data_.size() - offset) return false;
    detail::StoreLittleEndian(data_.data() + offset, v);
    return true;
  }
  std::span<uint8_t> data_;
};

// A fixed-size record: copied out of a file to be read, or built whole to be
// written. Its fields are read and written at named offsets, each checked
// against the record's size when the code is compiled; reads go through
// ByteReader like every other read.
template <size_t N>
using Record = std::array<uint8_t, N>;

template <typename T, size_t At, size_t N>
T RecordField(const Record<N>& record) {
  static_assert(sizeof(T) == 2 || sizeof(T) == 4, "u16 and u32 fields only");
  static_assert(At + sizeof(T) <= N, "the field lies outside the record");
  const ByteReader r(record);
  T v = 0;
  if constexpr (sizeof(T) == 2) (void)r.U16(At, v);
  else (void)r.U32(At, v);
  return v;
}
template <size_t At, size_t N>
uint16_t RecordU16(const Record<N>& record) { return RecordField<uint16_t, At>(record); }
template <size_t At, size_t N>
uint32_t RecordU32(const Record<N>& record) { return RecordField<uint32_t, At>(record); }

template <typename T, size_t At, size_t N>
void PutRecordField(Record<N>& record, T v) {
  static_assert(At + sizeof(T) <= N, "the field lies outside the record");
  detail::StoreLittleEndian(record.data() + At, v);
}
template <size_t At, size_t N>
void PutRecordU16(Record<N>& record, uint16_t v) { PutRecordField<uint16_t, At>(record, v); }
template <size_t At, size_t N>
void PutRecordU32(Record<N>& record, uint32_t v) { PutRecordField<uint32_t, At>(record, v); }
template <size_t At, size_t N>
void PutRecordU64(Record<N>& record, uint64_t v) { PutRecordField<uint64_t, At>(record, v); }
// The bytes of a char array as they are, such as a magic: all M of them (a
// string literal's NUL too).
template <size_t At, size_t N, size_t M>
void PutRecordBytes(Record<N>& record, const char (&bytes)[M]) {
  static_assert(At + M <= N, "the field lies outside the record");
  for (size_t i = 0; i < M; ++i) record[At + i] = static_cast<uint8_t>(bytes[i]);
}

// Appends a whole record and then the bytes that follow it (a name, say).
template <size_t N>
void AppendRecord(std::vector<uint8_t>& out, const Record<N>& record, std::string_view tail = {}) {
  out.insert(out.end(), record.begin(), record.end());
  out.insert(out.end(), tail.begin(), tail.end());
}

}  // namespace tf
