// Writes a sample package with the zip record builders, the way the package
// writer will: stored entries from memory, a pack streamed in chunks behind a
// local header whose CRC is patched afterwards, a manifest, then the central
// directory. check_zip.py reads it back with an independent zip reader.
#include <cstdio>
#include <string>
#include <vector>

#include "android/crc32.h"
#include "android/game_pack.h"
#include "android/jar_manifest.h"
#include "android/zip_records.h"
#include "common/bytes.h"

namespace {

using namespace tf::android;

// The content rule check_zip.py repeats: byte i of item k.
std::vector<uint8_t> Pattern(int k, size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + k * 7);
  return b;
}

struct Writer {
  std::vector<uint8_t> out;
  std::vector<CentralRecord> records;
  std::string error;

  bool Add(const std::string& name, const std::vector<uint8_t>& data) {
    if (!ZipHasRoom(out.size(), name.size(), data.size(), records.size(), error)) return false;
    CentralRecord r{name, Crc32(data.data(), data.size()), data.size(), out.size()};
    AppendLocalHeader(out, name, r.crc, data.size());
    out.insert(out.end(), data.begin(), data.end());
    records.push_back(r);
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zip_sample OUTPUT.zip\n");
    return 2;
  }
  Writer w;
  std::vector<ManifestEntry> manifestEntries;
  const std::string longName = "res/" + std::string(90, 'n') + "/wrapped-name.png";  // wraps in the manifest
  const std::pair<std::string, size_t> stored[] = {
      {"AndroidManifest.xml", 2000}, {"res/empty.png", 0}, {longName, 77}};
  int k = 0;
  for (const auto& [name, size] : stored) {
    if (!w.Add(name, Pattern(k++, size))) return 1;
    manifestEntries.push_back({name, std::string(43, 'A' + k) + "="});
  }

  // The pack: its index and three files, streamed in uneven chunks.
  std::vector<GameFile> files = {{L"x", "default.xbe", 100000}, {L"x", "GFX/empty.bin", 0}, {L"x", "AUDMUSIC/a.wma", 4099}};
  std::vector<uint8_t> index;
  uint64_t pakLength = 0;
  if (!PreparePak(files, index, pakLength, w.error)) return 1;
  if (!ZipHasRoom(w.out.size(), 15, pakLength, w.records.size(), w.error)) return 1;
  const uint64_t localHeaderOffset = w.out.size();
  AppendLocalHeader(w.out, kPakEntryName, 0, pakLength);
  uint32_t crc = Crc32Update(kCrc32Start, index.data(), index.size());
  w.out.insert(w.out.end(), index.begin(), index.end());
  for (size_t f = 0; f < files.size(); ++f) {
    std::vector<uint8_t> data = Pattern(10 + static_cast<int>(f), files[f].size);
    for (size_t at = 0; at < data.size();) {
      size_t n = std::min<size_t>(data.size() - at, 1 + (at * 7919) % 9000);
      crc = Crc32Update(crc, data.data() + at, n);
      w.out.insert(w.out.end(), data.begin() + at, data.begin() + at + n);
      at += n;
    }
  }
  tf::ByteWriter(w.out).U32(localHeaderOffset + zip::local::kCrc, Crc32Finish(crc));
  w.records.push_back({kPakEntryName, Crc32Finish(crc), pakLength, localHeaderOffset});
  manifestEntries.push_back({kPakEntryName, std::string(43, 'P') + "="});

  Manifest manifest = BuildManifest(manifestEntries);
  if (!w.Add(kManifestName, std::vector<uint8_t>(manifest.bytes.begin(), manifest.bytes.end()))) return 1;

  std::vector<uint8_t> directory;
  if (!BuildCentralDirectory(w.records, w.out.size(), directory, w.error)) {
    std::fprintf(stderr, "%s\n", w.error.c_str());
    return 1;
  }
  w.out.insert(w.out.end(), directory.begin(), directory.end());

  FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr) return 1;
  bool ok = std::fwrite(w.out.data(), 1, w.out.size(), f) == w.out.size();
  ok = std::fclose(f) == 0 && ok;
  return ok ? 0 : 1;
}
