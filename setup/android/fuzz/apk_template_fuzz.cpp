// Fuzz target: arbitrary bytes as the APK template. What the reader lists must
// lie inside the input and obey its rules; written back with the zip record
// builders, it must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "android/apk_template.h"
#include "android/crc32.h"
#include "android/zip_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tf::android;
  if (size > 0xFFFFFFFFu) return 0;
  std::vector<TemplateEntry> entries;
  std::string error;
  bool ok = ReadApkTemplate(data, static_cast<uint32_t>(size), entries, error);
  // Success lists something; a failure says why (entries listed before it may stay).
  if (ok ? entries.empty() : error.empty()) __builtin_trap();
  for (const TemplateEntry& e : entries) {
    if (e.data < data || e.size > size || e.data - data > static_cast<ptrdiff_t>(size - e.size)) __builtin_trap();
    if (e.name.empty() || e.name.back() == '/' || e.name.rfind("META-INF/", 0) == 0) __builtin_trap();
  }
  if (!ok) return 0;

  std::vector<uint8_t> archive;
  std::vector<CentralRecord> records;
  for (const TemplateEntry& e : entries) {
    if (!ZipHasRoom(archive.size(), e.name.size(), e.size, records.size(), error)) return 0;
    records.push_back({e.name, Crc32(e.data, e.size), e.size, archive.size()});
    AppendLocalHeader(archive, e.name, records.back().crc, e.size);
    archive.insert(archive.end(), e.data, e.data + e.size);
  }
  std::vector<uint8_t> directory;
  if (!BuildCentralDirectory(records, archive.size(), directory, error)) return 0;
  archive.insert(archive.end(), directory.begin(), directory.end());

  std::vector<TemplateEntry> again;
  if (!ReadApkTemplate(archive.data(), static_cast<uint32_t>(archive.size()), again, error)) __builtin_trap();
  if (again.size() != entries.size()) __builtin_trap();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (again[i].name != entries[i].name || again[i].size != entries[i].size) __builtin_trap();
    if (entries[i].size != 0 && std::memcmp(again[i].data, entries[i].data, entries[i].size) != 0) __builtin_trap();
  }
  return 0;
}
