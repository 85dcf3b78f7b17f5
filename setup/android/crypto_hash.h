#pragma once
// SHA-256 and Base64 through the platform's CryptoAPI, and the digest service
// that the signature file is built with.
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "android/jar_manifest.h"
#include "common/win32_handle.h"

namespace tf::android {

using Sha256Digest = std::array<uint8_t, 32>;

// A SHA-256 over data fed in pieces (the game pack is hashed while it streams).
class Sha256Hash {
 public:
  // A verify-only provider of type PROV_RSA_AES and a CALG_SHA_256 hash.
  [[nodiscard]] bool Open();
  [[nodiscard]] bool Update(const void* data, size_t length);
  // The value of everything fed so far; the hash is spent afterwards.
  [[nodiscard]] bool Finish(Sha256Digest& digest);

 private:
  UniqueCryptProv provider_;
  UniqueCryptHash hash_;  // declared after the provider: destroyed first
};

// SHA-256 of one block (a zero-length block gives the digest of empty input).
[[nodiscard]] bool Sha256(const void* data, size_t length, Sha256Digest& digest);

// Standard Base64 on one line (CryptBinaryToStringA); empty when the service fails.
std::string Base64Text(const void* data, size_t length);
inline std::string Base64Text(const Sha256Digest& digest) { return Base64Text(digest.data(), digest.size()); }

// Sha256 then Base64Text; an empty text counts as a failure.
class PlatformDigestText : public DigestText {
 public:
  [[nodiscard]] bool Digest(const uint8_t* data, size_t length, std::string& base64) override;
};

}  // namespace tf::android
