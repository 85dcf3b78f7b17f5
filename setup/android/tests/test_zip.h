#pragma once
// Zip archives made in tests, written field by field here (through the
// common ByteWriter) rather than with the record builders under test, so that
// the reader's tests do not lean on them. Every position is kept so that tests
// can corrupt chosen bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace tf::android::testing {

struct TestEntry {
  std::string name;
  std::string data;
  uint16_t method = 0;
  std::string localExtra;
  std::string centralExtra;
  std::string comment;
};

class TestZip {
 public:
  TestZip& Add(TestEntry e) {
    entries_.push_back(std::move(e));
    return *this;
  }
  TestZip& Add(std::string name, std::string data, uint16_t method = 0) {
    return Add(TestEntry{std::move(name), std::move(data), method, {}, {}, {}});
  }

  // Local headers and data, central directory, end record, then `trailer`
  // (the archive comment, or anything after it).
  std::vector<uint8_t> Bytes(const std::string& trailer = "", bool commentLengthCoversTrailer = true) {
    std::vector<uint8_t> b;
    local_.clear();
    central_.clear();
    for (const TestEntry& e : entries_) {
      local_.push_back(b.size());
      U32(b, 0x04034B50);
      U16(b, 20);
      U16(b, 0);
      U16(b, e.method);
      U32(b, 0);  // time, date
      U32(b, 0);  // CRC: the reader does not look
      U32(b, static_cast<uint32_t>(e.data.size()));
      U32(b, static_cast<uint32_t>(e.data.size()));
      U16(b, static_cast<uint16_t>(e.name.size()));
      U16(b, static_cast<uint16_t>(e.localExtra.size()));
      Str(b, e.name);
      Str(b, e.localExtra);
      Str(b, e.data);
    }
    directory_ = b.size();
    for (size_t i = 0; i < entries_.size(); ++i) {
      const TestEntry& e = entries_[i];
      central_.push_back(b.size());
      U32(b, 0x02014B50);
      U16(b, 20);
      U16(b, 20);
      U16(b, 0);
      U16(b, e.method);
      U32(b, 0);
      U32(b, 0);
      U32(b, static_cast<uint32_t>(e.data.size()));
      U32(b, static_cast<uint32_t>(e.data.size()));
      U16(b, static_cast<uint16_t>(e.name.size()));
      U16(b, static_cast<uint16_t>(e.centralExtra.size()));
      U16(b, static_cast<uint16_t>(e.comment.size()));
      U16(b, 0);
      U16(b, 0);
      U32(b, 0);
      U32(b, static_cast<uint32_t>(local_[i]));
      Str(b, e.name);
      Str(b, e.centralExtra);
      Str(b, e.comment);
    }
    size_t directorySize = b.size() - directory_;
    end_ = b.size();
    U32(b, 0x06054B50);
    U16(b, 0);
    U16(b, 0);
    U16(b, static_cast<uint16_t>(entries_.size()));
    U16(b, static_cast<uint16_t>(entries_.size()));
    U32(b, static_cast<uint32_t>(directorySize));
    U32(b, static_cast<uint32_t>(directory_));
    U16(b, commentLengthCoversTrailer ? static_cast<uint16_t>(trailer.size()) : 0);
    Str(b, trailer);
    return b;
  }

  size_t LocalOffset(size_t i) const { return local_.at(i); }
  size_t CentralOffset(size_t i) const { return central_.at(i); }
  size_t DirectoryOffset() const { return directory_; }
  size_t EndOffset() const { return end_; }

  static void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    if (!ByteWriter(b).U16(at, v)) ADD_FAILURE() << "no u16 at " << at << " of " << b.size() << " bytes";
  }
  static void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (!ByteWriter(b).U32(at, v)) ADD_FAILURE() << "no u32 at " << at << " of " << b.size() << " bytes";
  }

 private:
  static void U16(std::vector<uint8_t>& b, uint16_t v) {
    b.resize(b.size() + 2);
    Put16(b, b.size() - 2, v);
  }
  static void U32(std::vector<uint8_t>& b, uint32_t v) {
    b.resize(b.size() + 4);
    Put32(b, b.size() - 4, v);
  }
  static void Str(std::vector<uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

  std::vector<TestEntry> entries_;
  std::vector<size_t> local_, central_;
  size_t directory_ = 0, end_ = 0;
};

}  // namespace tf::android::testing
