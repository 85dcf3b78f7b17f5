#pragma once
// The per-user signing key: a PKCS#12 file, or a raw certificate and private
// key blob beside it, read back by every build; a new RSA key with a
// self-signed certificate when none is stored.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tf::android {

// After a successful load exactly one form is filled: `pfx`, or
// `certificate` with `privateKeyBlob`.
struct KeyMaterial {
  std::vector<uint8_t> pfx;             // PKCS#12, protected with kPfxPassword
  std::vector<uint8_t> certificate;     // DER X.509
  std::vector<uint8_t> privateKeyBlob;  // PRIVATEKEYBLOB, AT_SIGNATURE
  std::string note;                     // why a new key went to the raw form
};

inline constexpr wchar_t kPfxPassword[] = L"quorv";
inline constexpr wchar_t kSigningSubject[] = L"CN=Tarnfell, O=Native port";
inline constexpr uint64_t kMaxKeyFileBytes = 0x1000000;  // 16 MiB

// Companion files: the suffix goes after the whole key path.
inline constexpr wchar_t kCertificateSuffix[] = L".cer";
inline constexpr wchar_t kPrivateKeySuffix[] = L".key";
inline constexpr wchar_t kContainerSuffix[] = L".csp";  // an older form: a container name
inline constexpr wchar_t kNoteSuffix[] = L".txt";

// A whole file of 1 byte to 16 MiB; false (and `bytes` empty) otherwise.
bool ReadKeyFile(const std::wstring& path, std::vector<uint8_t>& bytes);
// Creates or replaces the file with exactly these bytes.
bool WriteKeyFile(const std::wstring& path, const std::vector<uint8_t>& bytes);

// The stored key at pfxPath (or its companions), the older container form
// migrated, or a new key stored. False only when a new key cannot be made.
[[nodiscard]] bool LoadOrCreateSigningKey(const std::wstring& pfxPath, KeyMaterial& key, std::string& errorText);

// A new 2048-bit RSA key and a self-signed certificate valid for thirty
// years, exported as PKCS#12 or, when that is refused, in the raw form with a
// note. The scratch container is deleted on every path.
[[nodiscard]] bool CreateSigningKey(KeyMaterial& key, std::string& errorText);

// The store's certificates with their private keys as PKCS#12 (the legacy
// encryption, or PBES2 with AES-256 and SHA-256). False with GetLastError()
// in `errorCode` and `pfx` empty.
bool ExportPfx(HCERTSTORE store, bool pbes2, std::vector<uint8_t>& pfx, uint32_t& errorCode);

// The certificate's end: thirty years after `now`, 29 February becoming 28 February.
SYSTEMTIME CertificateEndTime(const SYSTEMTIME& now);

namespace detail {
// The PKCS#12 export the key store calls; tests swap it to see its arguments
// or to make it succeed where the platform's is missing.
using PfxExportFn = BOOL(WINAPI*)(HCERTSTORE, CRYPT_DATA_BLOB*, LPCWSTR, void*, DWORD);
extern PfxExportFn pfxExport;
}  // namespace detail

}  // namespace tf::android
