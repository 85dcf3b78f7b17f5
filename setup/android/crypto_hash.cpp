#include "android/crypto_hash.h"

#include <algorithm>
#include <cstring>

namespace tf::android {

namespace {
constexpr DWORD kBase64OneLine = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;  // 0x40000001
constexpr size_t kHashPiece = 0x40000000;  // CryptHashData takes a 32-bit length
}  // namespace

bool Sha256Hash::Open() {
  hash_.Reset();
  provider_.Reset();
  if (!CryptAcquireContextW(provider_.Put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  return CryptCreateHash(provider_.Get(), CALG_SHA_256, 0, 0, hash_.Put()) != FALSE;
}

bool Sha256Hash::Update(const void* data, size_t length) {
  if (!hash_) return false;
  const auto* p = static_cast<const BYTE*>(data);
  while (length > 0) {
    DWORD piece = static_cast<DWORD>(std::min(length, kHashPiece));
    if (!CryptHashData(hash_.Get(), p, piece, 0)) return false;
    p += piece;
    length -= piece;
  }
  return true;
}

bool Sha256Hash::Finish(Sha256Digest& digest) {
  if (!hash_) return false;
  DWORD size = static_cast<DWORD>(digest.size());
  bool ok = CryptGetHashParam(hash_.Get(), HP_HASHVAL, digest.data(), &size, 0) && size == digest.size();
  hash_.Reset();
  provider_.Reset();
  return ok;
}

bool Sha256(const void* data, size_t length, Sha256Digest& digest) {
  Sha256Hash hash;
  return hash.Open() && hash.Update(data, length) && hash.Finish(digest);
}

std::string Base64Text(const void* data, size_t length) {
  if (length > 0xFFFFFFFFu) return std::string();
  const auto* bytes = static_cast<const BYTE*>(data);
  DWORD size = 0;
  if (!Crypt32().CryptBinaryToStringA(bytes, static_cast<DWORD>(length), kBase64OneLine, nullptr, &size) || size == 0)
    return std::string();
  std::string text(size, '\0');
  if (!Crypt32().CryptBinaryToStringA(bytes, static_cast<DWORD>(length), kBase64OneLine, text.data(), &size))
    return std::string();
  text.resize(strnlen(text.data(), text.size()));
  return text;
}

bool PlatformDigestText::Digest(const uint8_t* data, size_t length, std::string& base64) {
  Sha256Digest digest;
  if (!Sha256(data, length, digest)) return false;
  base64 = Base64Text(digest);
  return !base64.empty();
}

}  // namespace tf::android
