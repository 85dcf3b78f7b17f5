#include "android/key_store.h"

#include <wincrypt.h>

#include <cstddef>
#include <cwctype>

#include "android/key_container.h"
#include "android/rsa_key_blob.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf::android {

namespace {

constexpr DWORD kKeyFlags = (2048u << 16) | CRYPT_EXPORTABLE;  // 0x08000001
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kSha256WithRsa[] = "1.2.840.113549.1.1.11";
constexpr char kMsgKeyStoreBusy[] =
    "Another installation is still creating the signing key; try again when it has finished.";
constexpr char kMsgKeyStoreUnguarded[] = "The signing key could not be guarded against a second installation (error ";

// Held while the key files are read or written: the second of two builds of
// the same user waits for the first, then reads what it stored.
class KeyStoreLock {
 public:
  KeyStoreLock() = default;
  ~KeyStoreLock() {
    if (held_) ReleaseMutex(mutex_.Get());
  }
  KeyStoreLock(const KeyStoreLock&) = delete;
  KeyStoreLock& operator=(const KeyStoreLock&) = delete;

  [[nodiscard]] bool Acquire(const std::wstring& pfxPath, uint32_t waitMilliseconds, std::string& errorText) {
    mutex_.Reset(CreateMutexW(nullptr, FALSE, KeyStoreMutexName(pfxPath).c_str()));
    if (!mutex_) {
      errorText = WithErrorCode(kMsgKeyStoreUnguarded, GetLastError());
      return false;
    }
    switch (WaitForSingleObject(mutex_.Get(), waitMilliseconds)) {
      case WAIT_OBJECT_0:
      case WAIT_ABANDONED:  // its holder ended without letting go; the files are whole or absent
        held_ = true;
        return true;
      case WAIT_TIMEOUT:
        errorText = kMsgKeyStoreBusy;
        return false;
      default:
        errorText = WithErrorCode(kMsgKeyStoreUnguarded, GetLastError());
        return false;
    }
  }

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

// The files of one key path: the companions carry their suffix after the whole path.
struct KeyFiles {
  explicit KeyFiles(const std::wstring& pfxPath)
      : pfx(pfxPath), cer(pfxPath + kCertificateSuffix), key(pfxPath + kPrivateKeySuffix),
        csp(pfxPath + kContainerSuffix), note(pfxPath + kNoteSuffix) {}
  std::wstring pfx, cer, key, csp, note;
};

// ReadKeyFile, with a file that is there but cannot be read turned into the message.
bool ReadStoredFile(const std::wstring& path, std::vector<uint8_t>& bytes, KeyFile& state, std::string& errorText) {
  uint32_t error = 0;
  state = ReadKeyFile(path, bytes, error);
  if (state != KeyFile::Unreadable) return true;
  const std::string prefix =
      "The stored signing key file \"" + Narrow(path, CP_UTF8) + "\" could not be read (error ";
  errorText = WithErrorCode(prefix.c_str(), error);
  return false;
}

enum class Stored {
  Pfx,        // `pfx` read
  RawPair,    // `certificate` and `privateKeyBlob` read
  OlderForm,  // `certificate` read, and the ".csp" text of the older form
  Nothing,    // `key` empty
};

// Reading what is stored, the forms in the order they are looked for. False
// when a file is there but cannot be read.
bool ReadStoredKey(const KeyFiles& files, KeyMaterial& key, std::vector<uint8_t>& cspText, Stored& stored,
                   std::string& errorText) {
  KeyFile pfx = KeyFile::Absent, cer = KeyFile::Absent, blob = KeyFile::Absent, csp = KeyFile::Absent;
  if (!ReadStoredFile(files.pfx, key.pfx, pfx, errorText)) return false;
  stored = Stored::Pfx;
  if (pfx == KeyFile::Read) return true;
  if (!ReadStoredFile(files.cer, key.certificate, cer, errorText) ||
      !ReadStoredFile(files.key, key.privateKeyBlob, blob, errorText))
    return false;
  stored = Stored::RawPair;
  if (cer == KeyFile::Read && blob == KeyFile::Read) return true;
  key.privateKeyBlob.clear();
  if (cer == KeyFile::Read && !ReadStoredFile(files.csp, cspText, csp, errorText)) return false;
  stored = csp == KeyFile::Read ? Stored::OlderForm : Stored::Nothing;
  if (stored == Stored::Nothing) key.certificate.clear();
  return true;
}

// Whether a raw pair's key is its certificate's; a key that an importer left
// with wrong private values is recomputed in memory (the files stay as they are).
bool CheckRawPair(KeyMaterial& key, const KeyFiles& files, std::string& errorText) {
  UniqueCertContext certificate(Crypt32().CertCreateCertificateContext(kEncoding, key.certificate.data(),
                                                                       static_cast<DWORD>(key.certificate.size())));
  std::vector<uint8_t> publicKey;
  uint32_t error = GetLastError();
  if (!certificate || !PublicKeyBlobOf(certificate.Get(), publicKey, error)) {
    errorText = WithErrorCode(kMsgCertificateUnreadable, error);
    return false;
  }
  switch (RepairPrivateKeyBlob(key.privateKeyBlob, publicKey)) {
    case KeyBlobRepair::Intact:
    case KeyBlobRepair::Repaired:
      return true;
    case KeyBlobRepair::NotItsKey:
      errorText = "The stored signing key \"" + Narrow(files.key, CP_UTF8) +
                  "\" does not belong to the certificate \"" + Narrow(files.cer, CP_UTF8) + "\".";
      return false;
    case KeyBlobRepair::Damaged:
      break;
  }
  errorText = "The stored signing key \"" + Narrow(files.key, CP_UTF8) + "\" is damaged.";
  return false;
}

// "The signing key could not be stored in "<folder of the key files>" (error N)."
std::string NotStoredMessage(const KeyFiles& files, uint32_t error) {
  const std::string prefix =
      "The signing key could not be stored in \"" + Narrow(std::wstring(ParentFolderOf(files.pfx)), CP_UTF8) +
      "\" (error ";
  return WithErrorCode(prefix.c_str(), error);
}

// The private key of a container as a PRIVATEKEYBLOB; false with GetLastError().
bool ExportPrivateKey(HCRYPTPROV provider, std::vector<uint8_t>& blob, uint32_t& errorCode) {
  blob.clear();
  UniqueCryptKey key;
  if (!CryptGetUserKey(provider, AT_SIGNATURE, key.Put())) {
    errorCode = GetLastError();
    return false;
  }
  return ExportPrivateKeyBlob(key.Get(), blob, errorCode);
}

// The ".csp" text: a container name, its trailing LF, CR and NUL bytes dropped.
std::wstring ContainerNameFrom(const std::vector<uint8_t>& text) {
  size_t length = text.size();
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '\0')) --length;
  return std::wstring(text.begin(), text.begin() + static_cast<ptrdiff_t>(length));
}

enum class Migration {
  Loaded,  // the container's key is in the new ".key" file and in `key`
  Failed,  // `errorText` says why; the old files stay as they were
  NoKey,   // no container key to migrate: nothing was written
};

// Migration of the older form: the key of the persistent container named in
// the ".csp" file goes into a new ".key" file beside the certificate, and the
// ".csp" file goes. The container is left.
Migration MigrateOlderForm(const KeyFiles& files, const std::vector<uint8_t>& cspText, KeyMaterial& key,
                           std::string& errorText) {
  const std::wstring name = ContainerNameFrom(cspText);
  UniqueCryptProv provider;
  uint32_t error = 0;
  if (name.empty() || !CryptAcquireContextW(provider.Put(), name.c_str(), kProviderName, kProviderType, 0) ||
      !ExportPrivateKey(provider.Get(), key.privateKeyBlob, error))
    return Migration::NoKey;
  if (!WriteKeyFile(files.key, key.privateKeyBlob, error)) {
    key = KeyMaterial();
    errorText = NotStoredMessage(files, error);
    return Migration::Failed;
  }
  DeleteFileW(files.csp.c_str());
  return CheckRawPair(key, files, errorText) ? Migration::Loaded : Migration::Failed;
}

// Making a key: a new 2048-bit signature key, kept in a new scratch container.
bool GenerateKey(ScratchContainer& container, std::string& errorText) {
  if (!container.Create("A signing key could not be created (CryptAcquireContext, error ", errorText)) return false;
  UniqueCryptKey generated;
  if (!CryptGenKey(container.Provider(), AT_SIGNATURE, kKeyFlags, generated.Put())) {
    errorText = WithErrorCode("A signing key could not be generated (CryptGenKey, error ", GetLastError());
    return false;
  }
  return true;
}

std::string CertificateFailure(const char* step, uint32_t code) {
  return "A signing certificate could not be created (" + std::string(step) + ", error " + std::to_string(code) +
         ").";
}

// The container key's self-signed certificate, valid for thirty years from
// now, alone in a new memory store.
bool MakeCertificate(const ScratchContainer& container, UniqueCertContext& certificate, UniqueCertStore& store,
                     std::string& errorText) {
  BYTE subjectBytes[512];
  DWORD subjectSize = sizeof(subjectBytes);
  if (!Crypt32().CertStrToNameW(X509_ASN_ENCODING, kSigningSubject, CERT_X500_NAME_STR, nullptr, subjectBytes,
                                &subjectSize, nullptr)) {
    errorText = CertificateFailure("CertStrToName", GetLastError());
    return false;
  }
  CERT_NAME_BLOB subject{subjectSize, subjectBytes};
  CRYPT_KEY_PROV_INFO providerInfo = container.KeyProviderInfo();
  CRYPT_ALGORITHM_IDENTIFIER algorithm{};
  algorithm.pszObjId = const_cast<LPSTR>(kSha256WithRsa);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  SYSTEMTIME end = CertificateEndTime(now);
  certificate.Reset(Crypt32().CertCreateSelfSignCertificate(container.Provider(), &subject, 0, &providerInfo,
                                                            &algorithm, nullptr, &end, nullptr));
  if (!certificate) {
    errorText = CertificateFailure("CertCreateSelfSignCertificate", GetLastError());
    return false;
  }
  store.Reset(Crypt32().CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
  if (!store) {
    errorText = CertificateFailure("CertOpenStore", GetLastError());
    return false;
  }
  if (!Crypt32().CertAddCertificateContextToStore(store.Get(), certificate.Get(), CERT_STORE_ADD_ALWAYS, nullptr)) {
    errorText = CertificateFailure("CertAddCertificateContextToStore", GetLastError());
    return false;
  }
  return true;
}

// The new key as PKCS#12 (the legacy encryption, else PBES2), or in the raw
// form with a note of the two export errors (both 0 when the options switch
// the export off).
bool ExportNewKey(const ScratchContainer& container, PCCERT_CONTEXT certificate, HCERTSTORE store,
                  const KeyStoreOptions& options, KeyMaterial& key, std::string& errorText) {
  uint32_t legacyError = 0, pbes2Error = 0;
  if (!options.noPfxExport && (ExportPfx(options.pfxExport, store, false, key.pfx, legacyError) ||
                               ExportPfx(options.pfxExport, store, true, key.pfx, pbes2Error)))
    return true;
  uint32_t exportError = 0;
  if (!ExportPrivateKey(container.Provider(), key.privateKeyBlob, exportError)) {
    errorText = CertificateFailure("CryptExportKey", exportError);
    return false;
  }
  key.pfx.clear();
  key.certificate.assign(certificate->pbCertEncoded, certificate->pbCertEncoded + certificate->cbCertEncoded);
  key.note = "PFX export refused (legacy error " + std::to_string(legacyError) + ", PBES2 error " +
             std::to_string(pbes2Error) + "); the key was stored as a raw blob instead.";
  if (key.certificate.empty()) {
    errorText = CertificateFailure("CryptExportKey", 0);
    return false;
  }
  return true;
}

// Writes a new key in its form. A raw pair's certificate comes last, and a
// ".key" whose ".cer" could not follow goes again: no new key is ever left
// beside an old certificate. The note is only a note: it may fail.
bool StoreNewKey(const KeyMaterial& key, const KeyFiles& files, uint32_t& error) {
  if (!key.pfx.empty()) return WriteKeyFile(files.pfx, key.pfx, error);
  if (!WriteKeyFile(files.key, key.privateKeyBlob, error)) return false;
  if (!WriteKeyFile(files.cer, key.certificate, error)) {
    DeleteFileW(files.key.c_str());
    return false;
  }
  if (!key.note.empty()) WriteKeyFile(files.note, std::vector<uint8_t>(key.note.begin(), key.note.end()));
  return true;
}

// Making a key and writing it. A key that is not stored must not sign: the
// next build would make another, and a phone refuses a package signed with
// another key as an update. Files of the older form go once the new key is in
// place.
bool CreateAndStoreKey(const KeyFiles& files, const KeyStoreOptions& options, bool olderFormLeft, KeyMaterial& key,
                       std::string& errorText) {
  key = KeyMaterial();
  if (!CreateSigningKey(key, errorText, options)) return false;
  uint32_t storeError = 0;
  if (!StoreNewKey(key, files, storeError)) {
    key = KeyMaterial();
    errorText = NotStoredMessage(files, storeError);
    return false;
  }
  if (olderFormLeft) {
    DeleteFileW(files.csp.c_str());
    if (!key.pfx.empty()) DeleteFileW(files.cer.c_str());  // a raw pair's new ".cer" has replaced it
  }
  return true;
}

}  // namespace

KeyFile ReadKeyFile(const std::wstring& path, std::vector<uint8_t>& bytes, uint32_t& error) {
  switch (ReadWholeFile(path, bytes, kMaxKeyFileBytes)) {
    case FileRead::Ok:
      return bytes.empty() ? KeyFile::Absent : KeyFile::Read;
    case FileRead::TooLarge:
      return KeyFile::Absent;
    case FileRead::CannotOpen:
      // Straight from the failed CreateFileW: only a missing file is absent.
      error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? KeyFile::Absent : KeyFile::Unreadable;
    case FileRead::ReadFailed:
      break;
  }
  error = GetLastError() != 0 ? GetLastError() : static_cast<uint32_t>(ERROR_READ_FAULT);
  return KeyFile::Unreadable;
}

bool WriteKeyFile(const std::wstring& path, const std::vector<uint8_t>& bytes, uint32_t& error) {
  return ReplaceWholeFile(path, bytes, error) == FileWrite::Ok;
}

bool WriteKeyFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  uint32_t unused = 0;
  return WriteKeyFile(path, bytes, unused);
}

std::wstring KeyStoreMutexName(const std::wstring& pfxPath) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a over the upper-cased UTF-16 units
  for (wchar_t c : pfxPath) {
    const auto unit = static_cast<uint16_t>(std::towupper(static_cast<wint_t>(c)));
    for (int shift : {0, 8}) hash = (hash ^ ((unit >> shift) & 0xFF)) * 1099511628211ull;
  }
  wchar_t name[64] = {};
  swprintf(name, 64, L"Local\\tarnfell-signing-key-%016llx", static_cast<unsigned long long>(hash));
  return name;
}

bool PublicKeyBlobOf(PCCERT_CONTEXT certificate, std::vector<uint8_t>& blob, uint32_t& error) {
  const CRYPT_BIT_BLOB& key = certificate->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  DWORD size = 0;
  blob.clear();
  if (!Crypt32().CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, nullptr,
                                     nullptr, &size) ||
      size == 0) {
    error = GetLastError();
    return false;
  }
  blob.resize(size);
  if (!Crypt32().CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, nullptr,
                                     blob.data(), &size)) {
    error = GetLastError();
    blob.clear();
    return false;
  }
  blob.resize(size);
  return true;
}

SYSTEMTIME CertificateEndTime(const SYSTEMTIME& now) {
  SYSTEMTIME end = now;
  end.wYear = static_cast<WORD>(end.wYear + 30);
  if (end.wMonth == 2 && end.wDay == 29) end.wDay = 28;  // thirty years on is never a leap year
  return end;
}

bool ExportPfx(PfxExportCall pfxExport, HCERTSTORE store, bool pbes2, std::vector<uint8_t>& pfx,
               uint32_t& errorCode) {
  PKCS12_PBES2_EXPORT_PARAMS params{};
  params.dwSize = sizeof(params);
  params.hNcryptDescriptor = nullptr;
  params.pwszPbes2Alg = const_cast<LPWSTR>(PKCS12_PBES2_ALG_AES256_SHA256);
  void* para = pbes2 ? &params : nullptr;
  const DWORD flags = pbes2 ? (EXPORT_PRIVATE_KEYS | PKCS12_EXPORT_PBES2_PARAMS) : EXPORT_PRIVATE_KEYS;

  if (pfxExport == nullptr) pfxExport = Crypt32().PFXExportCertStoreEx;
  pfx.clear();
  CRYPT_DATA_BLOB blob{0, nullptr};
  SetLastError(0);
  if (!pfxExport(store, &blob, kPfxPassword, para, flags) || blob.cbData == 0) {
    errorCode = GetLastError();
    return false;
  }
  pfx.resize(blob.cbData);
  blob.pbData = pfx.data();
  SetLastError(0);
  if (!pfxExport(store, &blob, kPfxPassword, para, flags) || blob.cbData == 0 ||
      blob.cbData > pfx.size()) {
    errorCode = GetLastError();
    pfx.clear();
    return false;
  }
  pfx.resize(blob.cbData);
  return true;
}

bool CreateSigningKey(KeyMaterial& key, std::string& errorText, const KeyStoreOptions& options) {
  // Released in reverse order: store, certificate, then the provider, and the
  // container is deleted.
  ScratchContainer container;
  UniqueCertContext certificate;
  UniqueCertStore store;
  return GenerateKey(container, errorText) && MakeCertificate(container, certificate, store, errorText) &&
         ExportNewKey(container, certificate.Get(), store.Get(), options, key, errorText);
}

bool LoadOrCreateSigningKey(const std::wstring& pfxPath, KeyMaterial& key, std::string& errorText,
                            const KeyStoreOptions& options) {
  KeyStoreLock lock;
  if (!lock.Acquire(pfxPath, options.waitMilliseconds, errorText)) return false;
  const KeyFiles files(pfxPath);
  std::vector<uint8_t> cspText;
  Stored stored = Stored::Nothing;
  if (!ReadStoredKey(files, key, cspText, stored, errorText)) return false;
  if (stored == Stored::Pfx) return true;
  if (stored == Stored::RawPair) return CheckRawPair(key, files, errorText);
  const bool olderForm = stored == Stored::OlderForm;
  if (olderForm) {
    const Migration migration = MigrateOlderForm(files, cspText, key, errorText);
    if (migration != Migration::NoKey) return migration == Migration::Loaded;
  }
  return CreateAndStoreKey(files, options, olderForm, key, errorText);
}

}  // namespace tf::android
