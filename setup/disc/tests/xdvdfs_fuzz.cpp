// Fuzz target: arbitrary bytes as the root directory table of a volume.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disc/xdvdfs_format.h"
#include "table_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tf::testing::VolumeImage img;
  img.SetRoot(std::vector<uint8_t>(data, data + size));
  tf::testing::MemoryReader reader(img.Bytes());
  tf::XdvdfsVolume volume;
  std::vector<tf::XdvdfsEntry> entries;
  std::string error;
  tf::FindAndScanVolume(reader, img.Bytes().size(), volume, entries, error);
  for (const auto& e : entries)
    if (!tf::IsSafeRelativePath(e.path)) __builtin_trap();
  return 0;
}
