#pragma once
// Bounds-checked little-endian access to untrusted bytes, and its mirror for writing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
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

// Fields of a fixed-size record already copied out of a file: the field's
// place is checked against the record's size when the code is compiled, and
// the bytes are taken through ByteReader like every other read.
template <typename T, size_t At, size_t N>
T RecordField(const std::array<uint8_t, N>& record) {
  static_assert(sizeof(T) == 2 || sizeof(T) == 4, "u16 and u32 fields only");
  static_assert(At + sizeof(T) <= N, "the field lies outside the record");
  const ByteReader r(record);
  T v = 0;
  if constexpr (sizeof(T) == 2) (void)r.U16(At, v);
  else (void)r.U32(At, v);
  return v;
}
template <size_t At, size_t N>
uint16_t RecordU16(const std::array<uint8_t, N>& record) { return RecordField<uint16_t, At>(record); }
template <size_t At, size_t N>
uint32_t RecordU32(const std::array<uint8_t, N>& record) { return RecordField<uint32_t, At>(record); }

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

template <typename T, size_t At, size_t N>
void PutRecordField(std::array<uint8_t, N>& record, T v) {
  static_assert(At + sizeof(T) <= N, "the field lies outside the record");
  for (size_t i = 0; i < sizeof(T); ++i) record[At + i] = static_cast<uint8_t>(v >> (8 * i));
}
template <size_t At, size_t N>
void PutRecordU16(std::array<uint8_t, N>& record, uint16_t v) { PutRecordField<uint16_t, At>(record, v); }
template <size_t At, size_t N>
void PutRecordU32(std::array<uint8_t, N>& record, uint32_t v) { PutRecordField<uint32_t, At>(record, v); }

// Appends little-endian fields to a growing buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  size_t Size() const { return out_.size(); }
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) { Grow(2, [&](uint8_t* p) { PutU16(p, v); }); }
  void U32(uint32_t v) { Grow(4, [&](uint8_t* p) { PutU32(p, v); }); }
  void U64(uint64_t v) { Grow(8, [&](uint8_t* p) { PutU64(p, v); }); }
  void Bytes(const void* data, size_t length) {
    const auto* b = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), b, b + length);
  }
  void Fill(uint8_t value, size_t count) { out_.insert(out_.end(), count, value); }

 private:
  template <typename F>
  void Grow(size_t n, F put) {
    size_t at = out_.size();
    out_.resize(at + n);
    put(out_.data() + at);
  }
  std::vector<uint8_t>& out_;
};

}  // namespace tf
