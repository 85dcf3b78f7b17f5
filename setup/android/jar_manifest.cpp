#include "android/jar_manifest.h"

namespace tf::android {

namespace {

bool DigestOf(DigestText& digest, std::string_view bytes, std::string& text) {
  text.clear();
  return digest.Digest(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text) && !text.empty();
}

}  // namespace

std::string ManifestSection(std::string_view name, std::string_view digest) {
  std::string line = "Name: ";
  line.append(name);
  std::string out;
  std::string_view rest = line;
  while (rest.size() > kManifestLineLength) {
    out.append(rest.substr(0, kManifestLineLength));
    out.append("\r\n ");
    rest.remove_prefix(kManifestLineLength);
  }
  out.append(rest);
  out.append("\r\nSHA-256-Digest: ");
  out.append(digest);
  out.append("\r\n\r\n");
  return out;
}

Manifest BuildManifest(const std::vector<ManifestEntry>& entries) {
  Manifest m;
  m.bytes = kManifestMain;
  m.mainSectionLength = m.bytes.size();
  for (const ManifestEntry& e : entries) m.bytes += ManifestSection(e.name, e.digest);
  return m;
}

bool BuildSignatureFile(std::string_view manifest, size_t mainSectionLength,
                        const std::vector<ManifestEntry>& entries, DigestText& digest,
                        std::string& signatureFile) {
  if (mainSectionLength > manifest.size()) return false;
  std::string whole, main;
  if (!DigestOf(digest, manifest, whole) || !DigestOf(digest, manifest.substr(0, mainSectionLength), main))
    return false;
  std::string out = "Signature-Version: 1.0\r\nSHA-256-Digest-Manifest: " + whole +
                    "\r\nSHA-256-Digest-Manifest-Main-Attributes: " + main +
                    "\r\nCreated-By: Tarnfell installer\r\n\r\n";
  size_t offset = mainSectionLength;
  for (const ManifestEntry& e : entries) {
    std::string section = ManifestSection(e.name, e.digest);
    if (section.size() > manifest.size() - offset || manifest.substr(offset, section.size()) != section)
      return false;
    std::string sectionDigest;
    if (!DigestOf(digest, manifest.substr(offset, section.size()), sectionDigest)) return false;
    out += ManifestSection(e.name, sectionDigest);
    offset += section.size();
  }
  signatureFile = std::move(out);
  return true;
}

}  // namespace tf::android
