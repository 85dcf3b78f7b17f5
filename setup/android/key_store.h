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

// How long a build waits for another build of the same user to finish
// loading or making the key.
inline constexpr uint32_t kKeyStoreWaitMilliseconds = 5 * 60 * 1000;

// The platform's PKCS#12 export, or a caller's stand-in (tests see its
// arguments, or make it succeed where the platform's is missing). Null: the
// platform's, Crypt32().PFXExportCertStoreEx.
using PfxExportCall = BOOL(WINAPI*)(HCERTSTORE, CRYPT_DATA_BLOB*, LPCWSTR, void*, DWORD);

// What a build of the key store works with, unless the caller says otherwise.
struct KeyStoreOptions {
  uint32_t waitMilliseconds = kKeyStoreWaitMilliseconds;
  PfxExportCall pfxExport = nullptr;
  bool noPfxExport = false;  // a new key goes to the raw form without trying the export
};

enum class KeyFile {
  Read,        // 1 byte to 16 MiB, all of it in `bytes`
  Absent,      // missing, empty or larger than 16 MiB
  Unreadable,  // there, but it cannot be opened or read now (the code in `error`)
};
// `bytes` is empty unless the file was read.
KeyFile ReadKeyFile(const std::wstring& path, std::vector<uint8_t>& bytes, uint32_t& error);
// Replaces the file with exactly these bytes in one step (a temporary file
// beside it, moved over it); false leaves the old file as it was, with the
// failing call's code in `error`.
bool WriteKeyFile(const std::wstring& path, const std::vector<uint8_t>& bytes, uint32_t& error);
bool WriteKeyFile(const std::wstring& path, const std::vector<uint8_t>& bytes);

// The stored key at pfxPath (or its companions), the older container form
// migrated, or a new key stored. One build of a user at a time: a second one
// waits up to the options' `waitMilliseconds`, then reads what the first
// stored. False when a stored file cannot be read, a raw pair's key is not its
// certificate's, or a new or migrated key cannot be made or stored ("The
// signing key could not be stored in "<folder>" (error N)."). Old key files
// go only once the new ones are in place.
[[nodiscard]] bool LoadOrCreateSigningKey(const std::wstring& pfxPath, KeyMaterial& key, std::string& errorText,
                                          const KeyStoreOptions& options = {});

// The name of the mutex that guards the key files at pfxPath (one per path,
// case aside, in the session's namespace).
std::wstring KeyStoreMutexName(const std::wstring& pfxPath);

// The certificate's RSA public key as a PUBLICKEYBLOB; false with GetLastError().
// A certificate that cannot be read: WithErrorCode(kMsgCertificateUnreadable, code).
inline constexpr char kMsgCertificateUnreadable[] = "The signing certificate could not be read (error ";
bool PublicKeyBlobOf(PCCERT_CONTEXT certificate, std::vector<uint8_t>& blob, uint32_t& error);

// A new 2048-bit RSA key and a self-signed certificate valid for thirty
// years, exported as PKCS#12 with the options' `pfxExport` or, when that is
// refused or switched off, in the raw form with a note. The scratch container
// is deleted on every path.
[[nodiscard]] bool CreateSigningKey(KeyMaterial& key, std::string& errorText, const KeyStoreOptions& options = {});

// The store's certificates with their private keys as PKCS#12 (the legacy
// encryption, or PBES2 with AES-256 and SHA-256). False with GetLastError()
// in `errorCode` and `pfx` empty.
bool ExportPfx(PfxExportCall pfxExport, HCERTSTORE store, bool pbes2, std::vector<uint8_t>& pfx, uint32_t& errorCode);

// The certificate's end: thirty years after `now`, 29 February becoming 28 February.
SYSTEMTIME CertificateEndTime(const SYSTEMTIME& now);

}  // namespace tf::android
