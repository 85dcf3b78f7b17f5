#include "android/package_layout.h"

#include "android/game_pack.h"
#include "android/jar_manifest.h"
#include "android/zip_records.h"

namespace tf::android {

namespace {

// Base64 of a SHA-256 digest: always 44 characters.
class PlaceholderDigest : public DigestText {
 public:
  bool Digest(const uint8_t*, size_t, std::string& base64) override {
    base64.assign(44, 'A');
    return true;
  }
};

}  // namespace

bool PackageFitsZip(const std::vector<TemplateEntry>& entries, uint64_t pakLength, uint64_t signatureBlockBound,
                    std::string& errorText) {
  std::vector<CentralRecord> records;
  uint64_t position = 0;
  auto add = [&](const std::string& name, uint64_t size) {
    if (!ZipHasRoom(position, name.size(), size, records.size(), errorText)) return false;
    records.push_back({name, 0, size, position});
    position += zip::kLocalHeaderSize + name.size() + size;
    return true;
  };
  PlaceholderDigest digest;
  std::string placeholder;
  (void)digest.Digest(nullptr, 0, placeholder);
  std::vector<ManifestEntry> listed;
  for (const TemplateEntry& e : entries) {
    if (!add(e.name, e.size)) return false;
    listed.push_back({e.name, placeholder});
  }
  if (!add(kPakEntryName, pakLength)) return false;
  listed.push_back({kPakEntryName, placeholder});
  const Manifest manifest = BuildManifest(listed);
  std::string signatureFile;
  if (!BuildSignatureFile(manifest.bytes, manifest.mainSectionLength, listed, digest, signatureFile)) {
    errorText = zip::kMsgPackageTooLarge;  // cannot happen with placeholder digests
    return false;
  }
  std::vector<uint8_t> directory;
  return add(kManifestName, manifest.bytes.size()) && add(kSignatureFileName, signatureFile.size()) &&
         add(kSignatureBlockName, signatureBlockBound) && BuildCentralDirectory(records, position, directory, errorText);
}

}  // namespace tf::android
