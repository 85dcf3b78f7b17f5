// Fuzz target: arbitrary bytes as the root directory table of a volume.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "disc/xdvdfs_format.h"
#include "table_builder.h"

namespace {
class Reader : public tf::ImageReader {
 public:
  explicit Reader(const std::vector<uint8_t>& b) : b_(b) {}
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length) override {
    if (offset > b_.size() || length > b_.size() - offset) return false;
    std::copy(b_.begin() + offset, b_.begin() + offset + length, static_cast<uint8_t*>(buffer));
    return true;
  }

 private:
  const std::vector<uint8_t>& b_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tf::testing::VolumeImage img;
  img.Put(33, std::vector<uint8_t>(data, data + size));
  img.SetDescriptor(33, static_cast<uint32_t>(size));
  Reader reader(img.Bytes());
  tf::XdvdfsVolume volume;
  std::vector<tf::XdvdfsEntry> entries;
  std::string error;
  tf::FindAndScanVolume(reader, img.Bytes().size(), volume, entries, error);
  for (const auto& e : entries)
    if (!tf::IsSafeRelativePath(e.path)) __builtin_trap();
  return 0;
}
