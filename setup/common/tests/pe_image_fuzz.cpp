// Fuzz target: arbitrary bytes as a PE image's headers, section table and
// import tables.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  tf::PeHeaders headers;
  if (!tf::ReadPeHeaders(bytes, headers)) return 0;
  tf::PeImports imports;
  if (!tf::ReadPeImports(bytes, imports)) return 0;
  for (const auto* list : {&imports.dlls, &imports.delayLoadedDlls})
    for (const std::string& name : *list) {
      if (name.empty() || name.size() > 256) __builtin_trap();
      for (char c : name)
        if (c < 0x20 || c > 0x7E) __builtin_trap();
    }
  return 0;
}
