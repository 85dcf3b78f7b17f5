#include "android/signature_block.h"

#include <wincrypt.h>

#include <algorithm>
#include <set>

#include "android/key_container.h"
#include "android/rsa_key_blob.h"
#include "common/win32_handle.h"

#ifdef CRYPT_SIGN_MESSAGE_PARA_HAS_CMS_FIELDS
#error "the signing parameters are the basic structure, without the CMS fields"
#endif

namespace tf::android {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";
constexpr char kMsgCertificateMissing[] = "The signing certificate is missing.";

// A detached signature over `content`; false with GetLastError() in `errorCode`.
bool SignDetached(PCCERT_CONTEXT certificate, std::string_view content, std::vector<uint8_t>& signature,
                  DWORD& errorCode) {
  CRYPT_SIGN_MESSAGE_PARA para{};
  para.cbSize = sizeof(para);
  para.dwMsgEncodingType = kEncoding;
  para.pSigningCert = certificate;
  para.HashAlgorithm.pszObjId = const_cast<LPSTR>(kSha256Oid);
  para.cMsgCert = 1;
  para.rgpMsgCert = &certificate;
  const BYTE* blocks[1] = {reinterpret_cast<const BYTE*>(content.data())};
  DWORD sizes[1] = {static_cast<DWORD>(content.size())};
  DWORD size = 0;
  if (!Crypt32().CryptSignMessage(&para, TRUE, 1, blocks, sizes, nullptr, &size) || size == 0) {
    errorCode = GetLastError();
    return false;
  }
  signature.assign(size, 0);
  if (!Crypt32().CryptSignMessage(&para, TRUE, 1, blocks, sizes, signature.data(), &size)) {
    errorCode = GetLastError();
    signature.clear();
    return false;
  }
  signature.resize(std::min<size_t>(size, signature.size()));
  return true;
}

// Checks a signature block the way a package verifier will: it verifies
// over `content` and its signer is `expected`, byte for byte.
bool VerifySignature(const std::vector<uint8_t>& signature, std::string_view content, PCCERT_CONTEXT expected,
                     std::string& errorText) {
  CRYPT_VERIFY_MESSAGE_PARA para{};
  para.cbSize = sizeof(para);
  para.dwMsgAndCertEncodingType = kEncoding;
  const BYTE* blocks[1] = {reinterpret_cast<const BYTE*>(content.data())};
  DWORD sizes[1] = {static_cast<DWORD>(content.size())};
  PCCERT_CONTEXT signer = nullptr;
  if (!Crypt32().CryptVerifyDetachedMessageSignature(&para, 0, signature.data(), static_cast<DWORD>(signature.size()),
                                                     1, blocks, sizes, &signer)) {
    errorText = WithErrorCode("The signature made for the Android package does not verify (error ", GetLastError());
    return false;
  }
  UniqueCertContext verified(signer);
  if (!verified || verified.Get()->cbCertEncoded != expected->cbCertEncoded ||
      !std::equal(expected->pbCertEncoded, expected->pbCertEncoded + expected->cbCertEncoded,
                  verified.Get()->pbCertEncoded)) {
    errorText = "The signature made for the Android package names another certificate than the signing key's.";
    return false;
  }
  return true;
}

// The certificate's key-provider property (CERT_KEY_PROV_INFO_PROP_ID), in
// `buffer`; null when it has none.
const CRYPT_KEY_PROV_INFO* KeyProviderOf(PCCERT_CONTEXT certificate, std::vector<uint8_t>& buffer) {
  DWORD size = 0;
  if (!Crypt32().CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
      size == 0)
    return nullptr;
  buffer.assign(size, 0);
  if (!Crypt32().CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
    return nullptr;
  return reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
}

// Deletes the container named by the certificate's key-provider property,
// unless it was there before the import (Wine's import puts the key in the
// user's default container, which may hold another program's key).
void DeleteContainerOf(PCCERT_CONTEXT certificate, const std::set<std::wstring>& before) {
  std::vector<uint8_t> buffer;
  const CRYPT_KEY_PROV_INFO* info = KeyProviderOf(certificate, buffer);
  if (info != nullptr && info->pwszContainerName != nullptr && before.count(info->pwszContainerName) == 0)
    DeleteKeyContainer(info->pwszContainerName, info->pwszProvName, info->dwProvType);
}

// The private key that a PKCS#12 import placed in the container the
// certificate names, as a PRIVATEKEYBLOB of a signature key (the import made
// it exportable; it may have stored it as the exchange key). False with
// GetLastError() of the failing call.
bool ExportImportedKey(PCCERT_CONTEXT certificate, std::vector<uint8_t>& blob, uint32_t& error) {
  std::vector<uint8_t> buffer;
  const CRYPT_KEY_PROV_INFO* info = KeyProviderOf(certificate, buffer);
  error = GetLastError();
  UniqueCryptProv provider;
  if (info == nullptr) return false;
  if (!CryptAcquireContextW(provider.Put(), info->pwszContainerName, info->pwszProvName, info->dwProvType, 0)) {
    error = GetLastError();
    return false;
  }
  UniqueCryptKey key;
  for (DWORD keyKind : {info->dwKeySpec, static_cast<DWORD>(AT_SIGNATURE), static_cast<DWORD>(AT_KEYEXCHANGE)})
    if ((keyKind == AT_SIGNATURE || keyKind == AT_KEYEXCHANGE) && CryptGetUserKey(provider.Get(), keyKind, key.Put()))
      break;
  if (!key) {
    error = GetLastError();
    return false;
  }
  if (!ExportPrivateKeyBlob(key.Get(), blob, error)) return false;
  reinterpret_cast<BLOBHEADER*>(blob.data())->aiKeyAlg = CALG_RSA_SIGN;
  return true;
}

// Signs with the key of a PKCS#12 import from a scratch container of the AES
// provider, for imports (Wine's) that place the key with a provider without
// SHA-256. That import also stops at the first PKCS#1 value whose encoding is
// shorter than its field, leaving it and every later value zero, and writes
// the public exponent as 65537: the key is checked against the certificate
// and recomputed from its primes first.
bool SignFromScratchContainer(PCCERT_CONTEXT certificate, std::string_view content, std::vector<uint8_t>& signature,
                              std::string& errorText) {
  KeyMaterial raw;
  raw.certificate.assign(certificate->pbCertEncoded, certificate->pbCertEncoded + certificate->cbCertEncoded);
  std::vector<uint8_t> publicKey;
  uint32_t error = 0;
  if (!ExportImportedKey(certificate, raw.privateKeyBlob, error)) {
    errorText = WithErrorCode("The imported signing key could not be exported (error ", error);
    return false;
  }
  bool ok = false;
  if (!PublicKeyBlobOf(certificate, publicKey, error)) {
    errorText = WithErrorCode(kMsgCertificateUnreadable, error);
  } else {
    switch (RepairPrivateKeyBlob(raw.privateKeyBlob, publicKey)) {
      case KeyBlobRepair::Intact:
      case KeyBlobRepair::Repaired:
        ok = SignWithStoredKey(raw, content, signature, errorText);
        break;
      case KeyBlobRepair::NotItsKey:
        errorText = "The signing key in the PKCS#12 file does not belong to its certificate.";
        break;
      case KeyBlobRepair::Damaged:
        errorText = "The signing key in the PKCS#12 file could not be imported intact.";
        break;
    }
  }
  SecureZeroMemory(raw.privateKeyBlob.data(), raw.privateKeyBlob.size());
  return ok;
}

// Whether a PKCS#12 blob may hold a certificate, asked of an import of its
// certificates only, which makes no key container. Where the platform refuses
// that import (Wine does), the answer is yes and the full import decides.
bool MayHoldCertificate(CRYPT_DATA_BLOB& blob, const wchar_t* password) {
  UniqueCertStore certificatesOnly(Crypt32().PFXImportCertStore(&blob, password, PKCS12_ONLY_CERTIFICATES));
  if (!certificatesOnly) return true;
  return UniqueCertContext(Crypt32().CertFindCertificateInStore(certificatesOnly.Get(), kEncoding, 0, CERT_FIND_ANY,
                                                                nullptr, nullptr))
      .Valid();
}

}  // namespace

bool SignWithPfx(const std::vector<uint8_t>& pfx, const wchar_t* password, std::string_view content,
                 std::vector<uint8_t>& signature, std::string& errorText) {
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), const_cast<BYTE*>(pfx.data())};
  if (!MayHoldCertificate(blob, password)) {
    errorText = kMsgCertificateMissing;
    return false;
  }
  const std::set<std::wstring> containersBefore = KeyContainerNames();
  UniqueCertStore store(Crypt32().PFXImportCertStore(&blob, password, CRYPT_EXPORTABLE | CRYPT_USER_KEYSET));
  if (!store) {
    errorText = WithErrorCode("The signing key could not be read (error ", GetLastError());
    return false;
  }
  UniqueCertContext certificate(
      Crypt32().CertFindCertificateInStore(store.Get(), kEncoding, 0, CERT_FIND_ANY, nullptr, nullptr));
  if (!certificate) {
    // Only where the import of certificates alone is refused: the key's
    // container is then named by nothing that this import returned, and
    // containers of other programs look alike, so it is left.
    errorText = kMsgCertificateMissing;
    return false;
  }
  DWORD error = 0;
  bool ok = false;
  if (SignDetached(certificate.Get(), content, signature, error)) {
    ok = VerifySignature(signature, content, certificate.Get(), errorText);
  } else if (error == static_cast<DWORD>(NTE_BAD_ALGID)) {
    ok = SignFromScratchContainer(certificate.Get(), content, signature, errorText);
  } else {
    errorText = WithErrorCode("The Android package could not be signed (error ", error);
  }
  DeleteContainerOf(certificate.Get(), containersBefore);
  return ok;
}

bool SignWithStoredKey(const KeyMaterial& key, std::string_view content, std::vector<uint8_t>& signature,
                       std::string& errorText) {
  // Released in reverse order: the certificate, then the provider, and the
  // container is deleted.
  ScratchContainer container;
  if (!container.Create("A scratch key container could not be created (error ", errorText)) return false;
  {
    UniqueCryptKey imported;
    if (!CryptImportKey(container.Provider(), key.privateKeyBlob.data(), static_cast<DWORD>(key.privateKeyBlob.size()),
                        0, 0, imported.Put())) {
      errorText = WithErrorCode("The stored signing key could not be loaded (CryptImportKey, error ", GetLastError());
      return false;
    }
  }
  UniqueCertContext certificate(Crypt32().CertCreateCertificateContext(kEncoding, key.certificate.data(),
                                                                       static_cast<DWORD>(key.certificate.size())));
  if (!certificate) {
    errorText = WithErrorCode(kMsgCertificateUnreadable, GetLastError());
    return false;
  }
  const CRYPT_KEY_PROV_INFO providerInfo = container.KeyProviderInfo();
  if (!Crypt32().CertSetCertificateContextProperty(certificate.Get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &providerInfo)) {
    errorText = WithErrorCode("The signing key could not be attached (error ", GetLastError());
    return false;
  }
  DWORD error = 0;
  if (!SignDetached(certificate.Get(), content, signature, error)) {
    errorText = WithErrorCode("The Android package could not be signed (stored key, error ", error);
    return false;
  }
  return VerifySignature(signature, content, certificate.Get(), errorText);
}

}  // namespace tf::android
