#pragma once
// The JAR signature texts: the manifest "META-INF/MANIFEST.MF" with a digest
// of every package entry, and the signature file "META-INF/TFSIGN.SF" with
// digests of the manifest and of each of its sections.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tf::android {

inline constexpr char kManifestName[] = "META-INF/MANIFEST.MF";
inline constexpr char kSignatureFileName[] = "META-INF/TFSIGN.SF";
inline constexpr char kSignatureBlockName[] = "META-INF/TFSIGN.RSA";

inline constexpr char kManifestMain[] = "Manifest-Version: 1.0\r\nCreated-By: Tarnfell installer\r\n\r\n";
inline constexpr size_t kManifestLineLength = 72;

// One package entry the manifest covers.
struct ManifestEntry {
  std::string name;    // exactly as written into the package
  std::string digest;  // Base64 of the SHA-256 of the entry's stored bytes
};

// Turns bytes into the Base64 text of their SHA-256. On Windows the platform
// hash and Base64 services stand behind it.
class DigestText {
 public:
  virtual ~DigestText() = default;
  [[nodiscard]] virtual bool Digest(const uint8_t* data, size_t length, std::string& base64) = 0;
};

// "Name: " + name, cut into lines of 72 bytes (continuations "\r\n " + up to
// 72 bytes), then "\r\nSHA-256-Digest: " + digest + "\r\n\r\n".
std::string ManifestSection(std::string_view name, std::string_view digest);

struct Manifest {
  std::string bytes;
  size_t mainSectionLength = 0;  // the main section, through its closing blank line
};

// The main section, then one section per entry in list order.
Manifest BuildManifest(const std::vector<ManifestEntry>& entries);

// The signature file for a manifest made by BuildManifest from the same
// entries. False when a digest fails or yields no text, or when the manifest
// does not hold the entries' sections where they belong.
[[nodiscard]] bool BuildSignatureFile(std::string_view manifest, size_t mainSectionLength,
                                      const std::vector<ManifestEntry>& entries, DigestText& digest,
                                      std::string& signatureFile);

}  // namespace tf::android
