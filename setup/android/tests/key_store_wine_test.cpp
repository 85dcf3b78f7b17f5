// The signing key store and the signature block on real CryptoAPI: every way
// a key is found, migrated or made, the export's switch and arguments, the
// signatures both forms make, and no key container left behind by any of it.
#include "android/key_store.h"

#include <gtest/gtest.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "android/key_container.h"
#include "android/package_builder.h"
#include "android/signature_block.h"
#include "android_wine_support.h"
#include "common/text.h"
#include "common/win32_handle.h"
#include "win_test_support.h"

namespace tf::android {
namespace {

using testing::FixedKeyFile;
using testing::VerifiedSigner;

std::vector<uint8_t> Bytes(const std::wstring& path) {
  std::vector<uint8_t> b;
  test::ReadFileBytes(path, b);
  return b;
}

// Stands in for the platform's PKCS#12 export: records each call, and fails
// with a chosen code or hands out a fixed blob.
struct FakeExport {
  struct Call {
    DWORD flags;
    std::wstring password, algorithm;
    DWORD paramsSize;
  };
  static inline std::vector<Call> calls;
  static inline DWORD failLegacy = 0, failPbes2 = 0;  // non-zero: fail with this code
  static inline std::vector<uint8_t> blob = {'P', 'F', 'X', '!'};

  static BOOL WINAPI Export(HCERTSTORE, CRYPT_DATA_BLOB* out, LPCWSTR password, void* para, DWORD flags) {
    auto* params = static_cast<PKCS12_PBES2_EXPORT_PARAMS*>(para);
    calls.push_back({flags, password ? password : L"", params ? params->pwszPbes2Alg : L"", params ? params->dwSize : 0});
    DWORD fail = (flags & PKCS12_EXPORT_PBES2_PARAMS) ? failPbes2 : failLegacy;
    if (fail != 0) {
      SetLastError(fail);
      return FALSE;
    }
    if (out->pbData != nullptr) std::memcpy(out->pbData, blob.data(), std::min<size_t>(out->cbData, blob.size()));
    out->cbData = static_cast<DWORD>(blob.size());
    return TRUE;
  }
};

class KeyStore : public ::testing::Test {
 protected:
  void SetUp() override { FakeExport::failLegacy = FakeExport::failPbes2 = 0; }
  // The key store's export, from here on in this test, with no calls recorded yet.
  void UseFakeExport(DWORD failLegacy, DWORD failPbes2) {
    FakeExport::calls.clear();
    options.pfxExport = FakeExport::Export;
    FakeExport::failLegacy = failLegacy;
    FakeExport::failPbes2 = failPbes2;
  }
  // A new key in the raw form, made without the platform's export.
  KeyMaterial RawKey() {
    UseFakeExport(1, 1);
    KeyMaterial key;
    std::string error;
    EXPECT_TRUE(CreateSigningKey(key, error, options)) << error;
    options.pfxExport = nullptr;
    return key;
  }
  std::wstring File(const wchar_t* suffix) const { return pfxPath + suffix; }

  testing::KeyContainersKept containers;
  KeyStoreOptions options;  // what every call of a test gives the key store
  TempDir dir;
  std::wstring pfxPath = dir / L"android-signing.pfx";
};

// The certificate a raw key carries, and whether the key blob is its key.
void ExpectCertificateOfKey(const KeyMaterial& key) {
  UniqueCertContext cert(CertCreateCertificateContext(X509_ASN_ENCODING, key.certificate.data(),
                                                      static_cast<DWORD>(key.certificate.size())));
  ASSERT_TRUE(cert);
  wchar_t subject[256] = {};
  CertNameToStrW(X509_ASN_ENCODING, &cert.Get()->pCertInfo->Subject, CERT_X500_NAME_STR, subject, 256);
  EXPECT_STREQ(subject, L"CN=Tarnfell, O=Native port");
  EXPECT_STREQ(cert.Get()->pCertInfo->SignatureAlgorithm.pszObjId, "1.2.840.113549.1.1.11");
  SYSTEMTIME from{}, to{};
  FileTimeToSystemTime(&cert.Get()->pCertInfo->NotBefore, &from);
  FileTimeToSystemTime(&cert.Get()->pCertInfo->NotAfter, &to);
  EXPECT_EQ(to.wYear, from.wYear + 30);
  // The blob's public half (bit length, exponent and modulus behind the blob
  // header and the "RSA1"/"RSA2" magic) is the certificate's.
  UniqueCryptProv verify;
  ASSERT_TRUE(CryptAcquireContextW(verify.Put(), nullptr, kProviderName, kProviderType, CRYPT_VERIFYCONTEXT));
  UniqueCryptKey publicKey;
  ASSERT_TRUE(CryptImportPublicKeyInfo(verify.Get(), X509_ASN_ENCODING, &cert.Get()->pCertInfo->SubjectPublicKeyInfo,
                                       publicKey.Put()));
  DWORD size = 0;
  ASSERT_TRUE(CryptExportKey(publicKey.Get(), 0, PUBLICKEYBLOB, 0, nullptr, &size));
  std::vector<uint8_t> pub(size);
  ASSERT_TRUE(CryptExportKey(publicKey.Get(), 0, PUBLICKEYBLOB, 0, pub.data(), &size));
  ASSERT_GT(key.privateKeyBlob.size(), size);
  EXPECT_EQ(key.privateKeyBlob[0], PRIVATEKEYBLOB);
  EXPECT_TRUE(std::equal(pub.begin() + 12, pub.begin() + size, key.privateKeyBlob.begin() + 12));
}

TEST(CertificateEnd, ThirtyYearsOnAndTheLeapDay) {
  struct Case {
    WORD year, month, day, endYear, endDay;
  } cases[] = {{2024, 2, 29, 2054, 28}, {2000, 2, 29, 2030, 28}, {2023, 2, 28, 2053, 28}, {2025, 3, 1, 2055, 1},
               {2024, 12, 31, 2054, 31}};
  for (const Case& c : cases) {
    SYSTEMTIME now{c.year, c.month, 0, c.day, 13, 14, 15, 16};
    SYSTEMTIME end = CertificateEndTime(now);
    EXPECT_EQ(end.wYear, c.endYear);
    EXPECT_EQ(end.wMonth, c.month);
    EXPECT_EQ(end.wDay, c.endDay);
    EXPECT_EQ(end.wHour * 10000 + end.wMinute * 100 + end.wSecond, 131415);
  }
}

TEST_F(KeyStore, ANewKeyIsStoredInTheFormTheExportAllows) {
  // Refused export (codes with the top bit set read as unsigned decimals):
  // the raw pair and the note, then the next load reads the pair back.
  UseFakeExport(0x80090016, 87);
  KeyMaterial first, second;
  std::string error;
  ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, first, error, options)) << error;
  EXPECT_TRUE(first.pfx.empty());
  EXPECT_FALSE(FileExists(pfxPath));
  EXPECT_EQ(Bytes(File(L".cer")), first.certificate);
  EXPECT_EQ(Bytes(File(L".key")), first.privateKeyBlob);
  EXPECT_EQ(ReadText(File(L".txt")),
            "PFX export refused (legacy error 2148073494, PBES2 error 87); the key was stored as a raw blob instead.");
  ExpectCertificateOfKey(first);
  ASSERT_EQ(FakeExport::calls.size(), 2u);
  EXPECT_EQ(FakeExport::calls[0].flags, 0x4u);
  EXPECT_EQ(FakeExport::calls[0].paramsSize, 0u);
  EXPECT_EQ(FakeExport::calls[1].flags, 0x84u);
  EXPECT_EQ(FakeExport::calls[1].algorithm, L"AES256-SHA256");
  EXPECT_EQ(FakeExport::calls[1].paramsSize, sizeof(PKCS12_PBES2_EXPORT_PARAMS));
  for (const auto& c : FakeExport::calls) EXPECT_EQ(c.password, L"quorv");
  ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, second, error, options)) << error;
  EXPECT_EQ(second.certificate, first.certificate);
  EXPECT_EQ(second.privateKeyBlob, first.privateKeyBlob);
  EXPECT_EQ(FakeExport::calls.size(), 2u) << "no second key";

  // An export that works (here the PBES2 one): only the PKCS#12 file.
  TempDir other;
  UseFakeExport(5, 0);
  KeyMaterial pfxForm;
  ASSERT_TRUE(LoadOrCreateSigningKey(other / L"k.pfx", pfxForm, error, options)) << error;
  EXPECT_EQ(pfxForm.pfx, FakeExport::blob);
  EXPECT_TRUE(pfxForm.certificate.empty() && pfxForm.privateKeyBlob.empty() && pfxForm.note.empty());
  EXPECT_EQ(Bytes(other / L"k.pfx"), FakeExport::blob);
  EXPECT_FALSE(FileExists(other / L"k.pfx.cer") || FileExists(other / L"k.pfx.key") ||
               FileExists(other / L"k.pfx.txt"));
}

TEST_F(KeyStore, ThePlatformExportGivesExactlyOneStoredForm) {
  KeyMaterial key;
  std::string error;
  ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, key, error, options)) << error;
  if (key.pfx.empty()) {
    ExpectCertificateOfKey(key);
    EXPECT_FALSE(FileExists(pfxPath));
    EXPECT_EQ(ReadText(File(L".txt")), key.note);
  } else {
    EXPECT_EQ(Bytes(pfxPath), key.pfx);
    EXPECT_FALSE(FileExists(File(L".cer")));
  }
}

// Switched off, the export is not tried and the note names no error; the
// switch reaches a new key made by a load, and the raw pair is what is stored.
TEST_F(KeyStore, TheNoPfxSwitch) {
  for (bool noPfx : {false, true}) {
    SCOPED_TRACE(noPfx);
    UseFakeExport(31, 32);
    options.noPfxExport = noPfx;
    KeyMaterial key;
    std::string error;
    ASSERT_TRUE(CreateSigningKey(key, error, options)) << error;
    EXPECT_EQ(FakeExport::calls.size(), noPfx ? 0u : 2u);
    EXPECT_EQ(key.note, std::string("PFX export refused (legacy error ") +
                            (noPfx ? "0, PBES2 error 0" : "31, PBES2 error 32") +
                            "); the key was stored as a raw blob instead.");
  }
  UseFakeExport(0, 0);  // an export that would succeed
  options.noPfxExport = true;
  KeyMaterial key;
  std::string error;
  ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, key, error, options)) << error;
  EXPECT_TRUE(FakeExport::calls.empty());
  EXPECT_TRUE(key.pfx.empty());
  EXPECT_FALSE(FileExists(pfxPath));
  EXPECT_EQ(Bytes(File(L".key")), key.privateKeyBlob);
  EXPECT_EQ(ReadText(File(L".txt")), key.note);
}

TEST_F(KeyStore, EmptyAndOversizedFilesCountAsAbsent) {
  struct Case {
    size_t pfxSize;
    bool newKey;
  } cases[] = {{0, true}, {0x1000001, true}, {0x1000000, false}, {1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pfxSize);
    TempDir d;
    std::wstring path = d / L"android-signing.pfx";
    std::vector<uint8_t> old(c.pfxSize, 0x5A);
    ASSERT_TRUE(test::WriteFileBytes(path, old.data(), old.size()));
    UseFakeExport(0, 0);
    KeyMaterial key;
    std::string error;
    ASSERT_TRUE(LoadOrCreateSigningKey(path, key, error, options)) << error;
    EXPECT_EQ(!FakeExport::calls.empty(), c.newKey);
    EXPECT_EQ(key.pfx, c.newKey ? FakeExport::blob : old);
    EXPECT_EQ(Bytes(path), key.pfx) << "a new key replaces the file";
  }
  // An empty ".key" beside a good ".cer" is absent too: a new raw key replaces both.
  KeyMaterial raw = RawKey();
  ASSERT_TRUE(WriteKeyFile(File(L".cer"), raw.certificate));
  ASSERT_TRUE(test::WriteFileBytes(File(L".key"), "", 0));
  UseFakeExport(1, 2);
  KeyMaterial key;
  std::string error;
  ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, key, error, options)) << error;
  EXPECT_NE(key.certificate, raw.certificate);
  EXPECT_EQ(Bytes(File(L".key")), key.privateKeyBlob);
}

TEST_F(KeyStore, TheOlderContainerFormIsMigrated) {
  // A persistent container with a key and its certificate, as older installers left them.
  KeyMaterial raw = RawKey();
  const std::wstring name = MakeContainerName();
  {
    UniqueCryptProv provider;
    ASSERT_TRUE(CryptAcquireContextW(provider.Put(), name.c_str(), kProviderName, kProviderType, CRYPT_NEWKEYSET));
    UniqueCryptKey imported;
    ASSERT_TRUE(CryptImportKey(provider.Get(), raw.privateKeyBlob.data(), static_cast<DWORD>(raw.privateKeyBlob.size()),
                               0, CRYPT_EXPORTABLE, imported.Put()));
  }
  const std::string narrowName(name.begin(), name.end());
  for (const std::string& cspText : {narrowName + "\r\n", narrowName + "\n\r\n", narrowName + std::string(2, '\0')}) {
    ASSERT_TRUE(WriteKeyFile(File(L".cer"), raw.certificate));
    ASSERT_TRUE(test::WriteFileBytes(File(L".csp"), cspText.data(), cspText.size()));
    KeyMaterial key;
    std::string error;
    UseFakeExport(1, 1);
    ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, key, error, options)) << error;
    EXPECT_TRUE(FakeExport::calls.empty()) << "no new key";
    EXPECT_EQ(key.certificate, raw.certificate);
    ExpectCertificateOfKey(key);
    EXPECT_EQ(Bytes(File(L".key")), key.privateKeyBlob);
    EXPECT_FALSE(FileExists(File(L".csp")));
    DeleteFileW(File(L".key").c_str());
  }
  // A ".key" that cannot be written: the build fails, the old form stays as
  // it was for the next build to migrate.
  ASSERT_TRUE(WriteKeyFile(File(L".cer"), raw.certificate));
  ASSERT_TRUE(test::WriteFileBytes(File(L".csp"), narrowName.data(), narrowName.size()));
  ASSERT_TRUE(CreateDirectoryW(File(L".key.tmp").c_str(), nullptr));
  {
    KeyMaterial key;
    std::string error;
    EXPECT_FALSE(LoadOrCreateSigningKey(pfxPath, key, error, options));
    EXPECT_EQ(error.rfind("The signing key could not be stored in \"" + test::Utf8(dir.Path()) + "\" (error ", 0), 0u)
        << error;
    EXPECT_TRUE(FakeExport::calls.empty()) << "no new key";
    EXPECT_EQ(Bytes(File(L".cer")), raw.certificate);
    EXPECT_EQ(ReadText(File(L".csp")), narrowName);
    EXPECT_FALSE(FileExists(File(L".key")));
  }
  RemoveDirectoryW(File(L".key.tmp").c_str());
  DeleteFileW(File(L".csp").c_str());

  // The container stays where it was; this test made it and removes it.
  EXPECT_EQ(KeyContainerNames().count(name), 1u);
  EXPECT_TRUE(DeleteKeyContainer(name, kProviderName, kProviderType));

  // A ".csp" naming a container that is gone: it and the ".cer" go, a new key comes.
  ASSERT_TRUE(WriteKeyFile(File(L".cer"), raw.certificate));
  ASSERT_TRUE(test::WriteFileBytes(File(L".csp"), narrowName.data(), narrowName.size()));
  KeyMaterial key;
  std::string error;
  ASSERT_TRUE(LoadOrCreateSigningKey(pfxPath, key, error, options)) << error;
  EXPECT_FALSE(FileExists(File(L".csp")));
  EXPECT_NE(key.certificate, raw.certificate);
  EXPECT_EQ(Bytes(File(L".cer")), key.certificate);

  // A ".csp" without a ".cer": nothing is deleted, a new key is made.
  TempDir d;
  ASSERT_TRUE(test::WriteFileBytes(d / L"k.pfx.csp", "x\r\n", 3));
  KeyMaterial fresh;
  ASSERT_TRUE(LoadOrCreateSigningKey(d / L"k.pfx", fresh, error, options)) << error;
  EXPECT_EQ(ReadText(d / L"k.pfx.csp"), "x\r\n");
}

TEST_F(KeyStore, TheStoredKeySignsAndItsFaultsAreReported) {
  KeyMaterial key = RawKey();
  const std::string content = "Signature-Version: 1.0\r\nSHA-256-Digest-Manifest: x\r\n\r\n";
  std::vector<uint8_t> signature, again;
  std::string error;
  ASSERT_TRUE(SignWithStoredKey(key, content, signature, error)) << error;
  EXPECT_EQ(VerifiedSigner(signature, content), key.certificate);
  ASSERT_TRUE(SignWithStoredKey(key, content, again, error)) << error;
  EXPECT_EQ(again, signature) << "no time or random value in the block";
  std::string changed = content;
  changed[5] ^= 1;
  EXPECT_TRUE(VerifiedSigner(signature, changed).empty());

  struct Case {
    bool damageKey;
    const char* prefix;
  } cases[] = {{true, "The stored signing key could not be loaded (CryptImportKey, error "},
               {false, "The signing certificate could not be read (error "}};
  for (const Case& c : cases) {
    KeyMaterial bad = key;
    (c.damageKey ? bad.privateKeyBlob : bad.certificate).resize(10);
    ASSERT_FALSE(SignWithStoredKey(bad, content, signature, error));
    EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << error;
    EXPECT_EQ(error.substr(error.size() - 2), ").");
  }
}

// PKCS#12 files made by openssl (the test fixture), with the password the
// key store uses and with another one.
TEST_F(KeyStore, OpensslPkcs12Files) {
  const std::wstring folder = test::FromUnixPath(TF_ANDROID_PFX_DIR);
  const std::string content = "Signature-Version: 1.0\r\n\r\n";
  std::vector<uint8_t> certificate = Bytes(folder + L"\\certificate.der");
  ASSERT_FALSE(certificate.empty()) << "the fixture made no files";
  for (const wchar_t* name : {L"quorv.pfx", L"quorv-legacy.pfx"}) {
    SCOPED_TRACE(test::Utf8(name));
    std::vector<uint8_t> pfx = Bytes(folder + L"\\" + name), signature;
    std::string error;
    // Wine imports the key with a provider without SHA-256; the signature is
    // then made from a scratch container of the AES provider.
    ASSERT_TRUE(SignWithPfx(pfx, kPfxPassword, content, signature, error)) << error;
    EXPECT_EQ(VerifiedSigner(signature, content), certificate);
    EXPECT_EQ(KeyContainerNames(), containers.Before());
  }
  std::vector<uint8_t> other = Bytes(folder + L"\\other-password.pfx"), signature;
  std::string error;
  EXPECT_FALSE(SignWithPfx(other, kPfxPassword, content, signature, error));
  EXPECT_EQ(error.rfind("The signing key could not be read (error ", 0), 0u) << error;
  // As the stored key of a build: the build fails at signing, and the key files stay as they are.
  ASSERT_TRUE(WriteKeyFile(pfxPath, other));
  ASSERT_TRUE(testing::LayOutGameFolder(dir / L"game"));
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  EXPECT_FALSE(BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), pfxPath,
                                   dir / L"game", GamePackNames, kGamePackNameCount, dir / L"p.apk", nullptr, nullptr,
                                   error));
  EXPECT_EQ(error.rfind("The signing key could not be read (error ", 0), 0u) << error;
  EXPECT_EQ(Bytes(pfxPath), other);
  EXPECT_FALSE(FileExists(File(L".cer")) || FileExists(File(L".key")) || FileExists(File(L".txt")));
  EXPECT_FALSE(FileExists(dir / L"p.apk") || FileExists(dir / L"p.apk.tmp"));

  // A key without its certificate: refused by the import of certificates
  // alone, or (Wine) by the import itself; no key container stays either way.
  std::vector<uint8_t> keyOnly = Bytes(folder + L"\\no-certificate.pfx");
  ASSERT_FALSE(keyOnly.empty());
  EXPECT_FALSE(SignWithPfx(keyOnly, kPfxPassword, content, signature, error));
  EXPECT_TRUE(error == "The signing certificate is missing." ||
              error.rfind("The signing key could not be read (error ", 0) == 0)
      << error;
  EXPECT_EQ(KeyContainerNames(), containers.Before());
}

// A container that was there before the import is not the import's to delete,
// although Wine's import puts the key into the user's default container.
TEST_F(KeyStore, AContainerThatWasThereBeforeTheImportStays) {
  UniqueCryptProv existing;
  if (!CryptAcquireContextW(existing.Put(), nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0)) {
    ASSERT_TRUE(CryptAcquireContextW(existing.Put(), nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  }
  std::vector<wchar_t> name(256);
  DWORD size = static_cast<DWORD>(name.size());
  ASSERT_TRUE(CryptGetProvParam(existing.Get(), PP_CONTAINER, reinterpret_cast<BYTE*>(name.data()), &size, 0));
  const std::string narrow(reinterpret_cast<const char*>(name.data()));
  const std::wstring defaultName(narrow.begin(), narrow.end());
  existing.Reset();
  const bool madeHere = containers.Before().count(defaultName) == 0;

  const std::string content = "Signature-Version: 1.0\r\n\r\n";
  std::vector<uint8_t> signature;
  std::string error;
  const std::wstring folder = test::FromUnixPath(TF_ANDROID_PFX_DIR);
  ASSERT_TRUE(SignWithPfx(Bytes(folder + L"\\quorv.pfx"), kPfxPassword, content, signature, error)) << error;
  EXPECT_EQ(KeyContainerNames().count(defaultName), 1u) << "the default container was deleted";
  if (madeHere) {
    EXPECT_TRUE(DeleteKeyContainer(defaultName, MS_ENHANCED_PROV_W, PROV_RSA_FULL));
  }
}

// A key whose CRT values are zero (as the PKCS#12 import leaves them) makes a
// signature that does not verify: it is refused, never handed on.
TEST_F(KeyStore, ASignatureThatDoesNotVerifyIsRefused) {
  KeyMaterial key;
  key.certificate = FixedKeyFile(L"short-dq.der");
  key.privateKeyBlob = FixedKeyFile(L"short-dq.blob");
  ASSERT_EQ(key.privateKeyBlob.size(), 1172u);
  const std::string content = "Signature-Version: 1.0\r\n\r\n";
  std::vector<uint8_t> signature;
  std::string error;
  ASSERT_TRUE(SignWithStoredKey(key, content, signature, error)) << error;
  EXPECT_EQ(VerifiedSigner(signature, content), key.certificate);
  std::fill(key.privateKeyBlob.begin() + 660, key.privateKeyBlob.end(), 0);  // dQ, qInv and d
  signature.clear();
  EXPECT_FALSE(SignWithStoredKey(key, content, signature, error));
  EXPECT_EQ(error.rfind("The signature made for the Android package does not verify (error ", 0), 0u) << error;
}

// Raw pairs are checked before use: a key of another certificate is refused
// and the files stay; a key with wrong private values is recomputed in
// memory (the file stays as it was); an unreadable blob is damaged.
TEST_F(KeyStore, ARawPairMustBelongTogether) {
  std::vector<uint8_t> zeroed = FixedKeyFile(L"short-dq.blob");
  ASSERT_EQ(zeroed.size(), 1172u);
  std::fill(zeroed.begin() + 660, zeroed.end(), 0);
  const std::string keyPath = test::Utf8(File(L".key")), cerPath = test::Utf8(File(L".cer"));
  struct Case {
    const char* what;
    std::vector<uint8_t> certificate, blob;
    std::string error;  // empty: the pair loads with the reference blob
  } cases[] = {
      {"a pair of two keys", FixedKeyFile(L"mismatched.cer"), FixedKeyFile(L"mismatched.key"),
       "The stored signing key \"" + keyPath + "\" does not belong to the certificate \"" + cerPath + "\"."},
      {"a key of the certificate", FixedKeyFile(L"short-dq.der"), FixedKeyFile(L"short-dq.blob"), ""},
      {"a key without its CRT values", FixedKeyFile(L"short-dq.der"), zeroed, ""},
      {"ten bytes of a key", FixedKeyFile(L"short-dq.der"), std::vector<uint8_t>(10, 7),
       "The stored signing key \"" + keyPath + "\" is damaged."},
      {"a certificate that is not one", std::vector<uint8_t>(50, 0x30), FixedKeyFile(L"short-dq.blob"),
       "The signing certificate could not be read (error "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_FALSE(c.certificate.empty() || c.blob.empty()) << "tests/keys is incomplete";
    ASSERT_TRUE(test::WriteFileBytes(File(L".cer"), c.certificate.data(), c.certificate.size()));
    ASSERT_TRUE(test::WriteFileBytes(File(L".key"), c.blob.data(), c.blob.size()));
    UseFakeExport(0, 0);
    KeyMaterial key;
    std::string error;
    const bool loaded = LoadOrCreateSigningKey(pfxPath, key, error, options);
    EXPECT_TRUE(FakeExport::calls.empty()) << "no new key";
    EXPECT_EQ(Bytes(File(L".cer")), c.certificate);
    EXPECT_EQ(Bytes(File(L".key")), c.blob);
    EXPECT_FALSE(FileExists(pfxPath));
    if (c.error.empty()) {
      ASSERT_TRUE(loaded) << error;
      EXPECT_EQ(key.certificate, c.certificate);
      EXPECT_EQ(key.privateKeyBlob, FixedKeyFile(L"short-dq.blob"));
    } else {
      EXPECT_FALSE(loaded);
      EXPECT_EQ(error.substr(0, c.error.size()), c.error);
    }
  }
}

// A stored file that is there but cannot be read fails the build with its
// name; nothing is replaced. (A missing, empty or oversized one is absent.)
TEST_F(KeyStore, AStoredFileThatCannotBeReadFailsTheBuild) {
  KeyMaterial raw = RawKey();
  struct Case {
    const wchar_t* present;  // the stored form: L"" for the PKCS#12 file, else the raw pair
    const wchar_t* blocked;  // the file that cannot be read
    bool asFolder;           // a folder in its place instead of a file held open without sharing
  } cases[] = {{L"", L"", false},          {L".cer", L".cer", false}, {L".cer", L".key", false},
               {L".cer", L".key", true},   {L".csp", L".csp", false}};
  for (const Case& c : cases) {
    TempDir d;
    const std::wstring path = d / L"android-signing.pfx", blocked = path + c.blocked;
    SCOPED_TRACE(test::Utf8(std::wstring(c.present) + L" " + c.blocked));
    if (std::wstring(c.present).empty()) {
      ASSERT_TRUE(WriteKeyFile(path, {'P', 'F', 'X'}));
    } else {
      ASSERT_TRUE(WriteKeyFile(path + L".cer", raw.certificate));
      const std::wstring companion = std::wstring(c.present) == L".cer" ? L".key" : L".csp";
      ASSERT_TRUE(WriteKeyFile(path + companion, companion == L".key" ? raw.privateKeyBlob : std::vector<uint8_t>{'x'}));
    }
    UniqueFile held;
    if (c.asFolder) {
      DeleteFileW(blocked.c_str());
      ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    } else {
      held.Reset(CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held.Valid());
    }
    const std::vector<std::wstring> before = test::FolderNames(d.Path());
    UseFakeExport(0, 0);
    KeyMaterial key;
    std::string error;
    EXPECT_FALSE(LoadOrCreateSigningKey(path, key, error, options));
    const std::string prefix = "The stored signing key file \"" + test::Utf8(blocked) + "\" could not be read (error ";
    EXPECT_EQ(error.substr(0, prefix.size()), prefix);
    EXPECT_EQ(error.substr(error.size() - 2), ").");
    EXPECT_TRUE(FakeExport::calls.empty()) << "no new key";
    held.Reset();
    EXPECT_EQ(test::FolderNames(d.Path()), before);
    RemoveDirectoryW(blocked.c_str());
  }
}

// A key that cannot be stored must not sign: the build fails naming the key
// folder and the error, and every key file that was there stays as it was; a
// new ".key" never stays without its ".cer". A folder where a file's
// temporary file must go blocks its write. The ".csp" names a container that
// is gone, so its migration fails and a new key is made.
TEST_F(KeyStore, AKeyThatCannotBeStoredFailsTheBuildAndKeepsTheOldFiles) {
  const KeyMaterial old = RawKey();
  const std::vector<uint8_t> gone = {'g', 'o', 'n', 'e', '\r', '\n'};
  struct Case {
    const char* what;
    bool pfxForm;  // the export gives a PKCS#12 file, else the raw pair
    bool oldForm;  // an old ".cer" and ".csp" lie there
    const wchar_t* blocked;
  } cases[] = {
      {"a new PKCS#12 file", true, false, L""},
      {"a new raw key's .key", false, false, L".key"},
      {"a new raw key's .cer", false, false, L".cer"},
      {"a PKCS#12 file after a failed migration", true, true, L""},
      {"a raw key's .key after a failed migration", false, true, L".key"},
      {"a raw key's .cer after a failed migration", false, true, L".cer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    const std::wstring path = d / L"android-signing.pfx", blocker = path + c.blocked + L".tmp";
    if (c.oldForm) {
      ASSERT_TRUE(WriteKeyFile(path + L".cer", old.certificate));
      ASSERT_TRUE(WriteKeyFile(path + L".csp", gone));
    }
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    const std::vector<std::wstring> before = test::FolderNames(d.Path());
    UseFakeExport(c.pfxForm ? 0 : 1, c.pfxForm ? 0 : 1);
    for (int build = 0; build < 2; ++build) {  // and the next build alike: no key was kept
      KeyMaterial key;
      std::string error;
      EXPECT_FALSE(LoadOrCreateSigningKey(path, key, error, options));
      const std::string prefix = "The signing key could not be stored in \"" + test::Utf8(d.Path()) + "\" (error ";
      EXPECT_EQ(error.substr(0, prefix.size()), prefix);
      EXPECT_EQ(error.substr(error.size() - 2), ").");
      EXPECT_TRUE(key.pfx.empty() && key.privateKeyBlob.empty()) << "no key to sign with";
      EXPECT_EQ(test::FolderNames(d.Path()), before);
    }
    if (c.oldForm) {
      EXPECT_EQ(Bytes(path + L".cer"), old.certificate);
      EXPECT_EQ(Bytes(path + L".csp"), gone);
    }
    RemoveDirectoryW(blocker.c_str());
  }

  // A key folder that is a file (one with a name outside the ANSI code page
  // too, which the message names intact), and one that the file system will
  // not write into (the fixture locks it; where it cannot, it is left out).
  const std::wstring locked = test::FromUnixPath(TF_ANDROID_READONLY_DIR) + L"\\keys-locked";
  const std::wstring cyrillic = dir / L"\u041A\u043B\u044E\u0447\u0438";
  ASSERT_TRUE(test::WriteFileBytes(dir / L"Tarnfell", "x", 1));
  ASSERT_TRUE(test::WriteFileBytes(cyrillic, "x", 1));
  std::vector<std::wstring> folders = {dir / L"Tarnfell", cyrillic};
  if (!FileExists(test::FromUnixPath(TF_ANDROID_READONLY_DIR) + L"\\unsupported")) folders.push_back(locked);
  for (const std::wstring& folder : folders) {
    SCOPED_TRACE(test::Utf8(folder));
    UseFakeExport(0, 0);
    KeyMaterial key;
    std::string error;
    EXPECT_FALSE(LoadOrCreateSigningKey(folder + L"\\android-signing.pfx", key, error, options));
    EXPECT_EQ(error.rfind("The signing key could not be stored in \"" + test::Utf8(folder) + "\" (error ", 0), 0u)
        << error;
    EXPECT_EQ(UserText(error).rfind(L"The signing key could not be stored in \"" + folder + L"\" (error ", 0), 0u);
  }
  EXPECT_EQ(ReadText(dir / L"Tarnfell"), "x");
  EXPECT_TRUE(test::FolderNames(locked).empty());
}

// Key files are replaced in one step: a temporary file beside them, moved
// over; a file that cannot be replaced stays as it was, and no temporary file.
TEST_F(KeyStore, KeyFilesAreReplacedWholeOrNotAtAll) {
  ASSERT_TRUE(WriteKeyFile(pfxPath, {1, 2, 3}));
  ASSERT_TRUE(WriteKeyFile(pfxPath, {4, 5}));
  EXPECT_EQ(Bytes(pfxPath), (std::vector<uint8_t>{4, 5}));
  ASSERT_TRUE(SetFileAttributesW(pfxPath.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WriteKeyFile(pfxPath, {6}));
  SetFileAttributesW(pfxPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Bytes(pfxPath), (std::vector<uint8_t>{4, 5}));
  EXPECT_FALSE(WriteKeyFile(dir / L"no-such-folder\\k.pfx", {7}));
  EXPECT_EQ(test::FolderNames(dir.Path()), std::vector<std::wstring>{L"android-signing.pfx"});
}

// Builds of the same user at the same time: one makes and stores the key,
// the others wait for it and read what it stored.
TEST_F(KeyStore, BuildsAtTheSameTimeShareOneKey) {
  constexpr int kBuilds = 4;
  std::vector<KeyMaterial> keys(kBuilds);
  std::vector<std::string> errors(kBuilds);
  std::vector<int> loaded(kBuilds, 0);
  std::atomic<int> ready{0};
  std::vector<std::thread> builds;
  for (int i = 0; i < kBuilds; ++i)
    builds.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kBuilds) std::this_thread::yield();
      loaded[i] = LoadOrCreateSigningKey(pfxPath, keys[i], errors[i], options);
    });
  for (std::thread& t : builds) t.join();
  for (int i = 0; i < kBuilds; ++i) {
    ASSERT_TRUE(loaded[i]) << errors[i];
    EXPECT_EQ(keys[i].pfx, keys[0].pfx) << i;
    EXPECT_EQ(keys[i].certificate, keys[0].certificate) << i;
  }
  if (keys[0].pfx.empty()) {
    EXPECT_EQ(Bytes(File(L".cer")), keys[0].certificate);
  } else {
    EXPECT_EQ(Bytes(pfxPath), keys[0].pfx);
  }
}

TEST_F(KeyStore, ABuildWaitsForTheHolderOfTheKeyStore) {
  EXPECT_EQ(KeyStoreMutexName(dir / L"A.pfx"), KeyStoreMutexName(dir / L"a.PFX"));
  EXPECT_NE(KeyStoreMutexName(dir / L"a.pfx"), KeyStoreMutexName(dir / L"b.pfx"));
  auto loadElsewhere = [this](uint32_t waitMilliseconds, std::string& error) {
    bool loaded = false;
    std::thread([&] {
      KeyMaterial key;
      loaded = LoadOrCreateSigningKey(pfxPath, key, error, {.waitMilliseconds = waitMilliseconds});
    }).join();
    return loaded;
  };
  // Held here: a build elsewhere gives up after its wait and stores nothing.
  UniqueKernelHandle held(CreateMutexW(nullptr, TRUE, KeyStoreMutexName(pfxPath).c_str()));
  ASSERT_TRUE(held.Valid());
  std::string error;
  EXPECT_FALSE(loadElsewhere(200, error));
  EXPECT_EQ(error, "Another installation is still creating the signing key; try again when it has finished.");
  EXPECT_TRUE(test::FolderNames(dir.Path()).empty());
  // Its next holder ended without letting go: the build after it goes on.
  ASSERT_TRUE(ReleaseMutex(held.Get()));
  std::thread([&held] { WaitForSingleObject(held.Get(), INFINITE); }).join();
  EXPECT_TRUE(loadElsewhere(200, error)) << error;
  EXPECT_FALSE(test::FolderNames(dir.Path()).empty());
}

}  // namespace
}  // namespace tf::android
