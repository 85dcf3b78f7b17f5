#include "android/signature_block.h"

#include <wincrypt.h>

#include <algorithm>
#include <set>

#include "android/key_container.h"
#include "common/win32_handle.h"

#ifdef CRYPT_SIGN_MESSAGE_PARA_HAS_CMS_FIELDS
#error "the signing parameters are the basic structure, without the CMS fields"
#endif

namespace tf::android {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";
constexpr char kScratchPrefix[] = "tarnfell-apk-";

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
  if (!CryptSignMessage(&para, TRUE, 1, blocks, sizes, nullptr, &size) || size == 0) {
    errorCode = GetLastError();
    return false;
  }
  signature.assign(size, 0);
  if (!CryptSignMessage(&para, TRUE, 1, blocks, sizes, signature.data(), &size)) {
    errorCode = GetLastError();
    signature.clear();
    return false;
  }
  signature.resize(std::min<size_t>(size, signature.size()));
  return true;
}

// The certificate's key-provider property (CERT_KEY_PROV_INFO_PROP_ID), in
// `buffer`; null when it has none.
const CRYPT_KEY_PROV_INFO* KeyProviderOf(PCCERT_CONTEXT certificate, std::vector<uint8_t>& buffer) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) || size == 0)
    return nullptr;
  buffer.assign(size, 0);
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) return nullptr;
  return reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
}

// Deletes the container named by the certificate's key-provider property.
void DeleteContainerOf(PCCERT_CONTEXT certificate) {
  std::vector<uint8_t> buffer;
  const CRYPT_KEY_PROV_INFO* info = KeyProviderOf(certificate, buffer);
  if (info != nullptr && info->pwszContainerName != nullptr)
    DeleteKeyContainer(info->pwszContainerName, info->pwszProvName, info->dwProvType);
}

// The private key that a PKCS#12 import placed in the container the
// certificate names, as a PRIVATEKEYBLOB of a signature key (the import made
// it exportable; it may have stored it as the exchange key).
bool ExportImportedKey(PCCERT_CONTEXT certificate, std::vector<uint8_t>& blob) {
  std::vector<uint8_t> buffer;
  const CRYPT_KEY_PROV_INFO* info = KeyProviderOf(certificate, buffer);
  UniqueCryptProv provider;
  if (info == nullptr ||
      !CryptAcquireContextW(provider.Put(), info->pwszContainerName, info->pwszProvName, info->dwProvType, 0))
    return false;
  UniqueCryptKey key;
  for (DWORD keySpec : {info->dwKeySpec, static_cast<DWORD>(AT_SIGNATURE), static_cast<DWORD>(AT_KEYEXCHANGE)})
    if ((keySpec == AT_SIGNATURE || keySpec == AT_KEYEXCHANGE) && CryptGetUserKey(provider.Get(), keySpec, key.Put()))
      break;
  if (!key) return false;
  DWORD length = 0;
  if (!CryptExportKey(key.Get(), 0, PRIVATEKEYBLOB, 0, nullptr, &length) || length < sizeof(BLOBHEADER)) return false;
  blob.assign(length, 0);
  if (!CryptExportKey(key.Get(), 0, PRIVATEKEYBLOB, 0, blob.data(), &length) || length < sizeof(BLOBHEADER)) {
    blob.clear();
    return false;
  }
  blob.resize(length);
  reinterpret_cast<BLOBHEADER*>(blob.data())->aiKeyAlg = CALG_RSA_SIGN;
  return true;
}

// The user's key containers of the provider that PKCS#12 imports use.
std::set<std::string> ImportContainers() {
  std::set<std::string> names;
  UniqueCryptProv provider;
  if (!CryptAcquireContextW(provider.Put(), nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return names;
  char name[1024];
  for (DWORD flags = CRYPT_FIRST;; flags = 0) {
    DWORD size = sizeof(name);
    if (!CryptGetProvParam(provider.Get(), PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags)) break;
    names.emplace(name, strnlen(name, std::min<size_t>(size, sizeof(name))));
  }
  return names;
}

}  // namespace

bool SignWithPfx(const std::vector<uint8_t>& pfx, const wchar_t* password, std::string_view content,
                 std::vector<uint8_t>& signature, std::string& errorText) {
  // A blob without a certificate leaves its key in a container that nothing
  // names: it is the one that appears during the import (scratch containers
  // of a build running beside this one excepted).
  std::set<std::string> before = ImportContainers();
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(pfx.size()), const_cast<BYTE*>(pfx.data())};
  UniqueCertStore store(PFXImportCertStore(&blob, password, CRYPT_EXPORTABLE | CRYPT_USER_KEYSET));
  if (!store) {
    errorText = WithErrorCode("The signing key could not be read (error ", GetLastError());
    return false;
  }
  UniqueCertContext certificate(
      CertFindCertificateInStore(store.Get(), kEncoding, 0, CERT_FIND_ANY, nullptr, nullptr));
  if (!certificate) {
    for (const std::string& name : ImportContainers())
      if (before.count(name) == 0 && name.rfind(kScratchPrefix, 0) != 0)
        DeleteKeyContainer(std::wstring(name.begin(), name.end()), MS_ENHANCED_PROV_W, PROV_RSA_FULL);
    errorText = "The signing certificate is missing.";
    return false;
  }
  DWORD error = 0;
  bool ok = SignDetached(certificate.Get(), content, signature, error);
  if (!ok && error == static_cast<DWORD>(NTE_BAD_ALGID)) {
    // Some imports (Wine's) place the key with a provider that has no SHA-256:
    // the same key and certificate then sign from a scratch container of the
    // AES provider, as a raw stored key does.
    KeyMaterial raw;
    raw.certificate.assign(certificate.Get()->pbCertEncoded,
                           certificate.Get()->pbCertEncoded + certificate.Get()->cbCertEncoded);
    std::string fallbackError;
    ok = ExportImportedKey(certificate.Get(), raw.privateKeyBlob) &&
         SignWithStoredKey(raw, content, signature, fallbackError);
    SecureZeroMemory(raw.privateKeyBlob.data(), raw.privateKeyBlob.size());
  }
  if (!ok) errorText = WithErrorCode("The Android package could not be signed (error ", error);
  DeleteContainerOf(certificate.Get());
  return ok;
}

bool SignWithStoredKey(const KeyMaterial& key, std::string_view content, std::vector<uint8_t>& signature,
                       std::string& errorText) {
  // Released in reverse order: the certificate, then the provider, and the
  // container is deleted.
  ScratchContainer container;
  DWORD error = 0;
  if (!container.Create(error)) {
    errorText = WithErrorCode("A scratch key container could not be created (error ", error);
    return false;
  }
  {
    UniqueCryptKey imported;
    if (!CryptImportKey(container.Provider(), key.privateKeyBlob.data(), static_cast<DWORD>(key.privateKeyBlob.size()),
                        0, 0, imported.Put())) {
      errorText = WithErrorCode("The stored signing key could not be loaded (CryptImportKey, error ", GetLastError());
      return false;
    }
  }
  UniqueCertContext certificate(CertCreateCertificateContext(kEncoding, key.certificate.data(),
                                                             static_cast<DWORD>(key.certificate.size())));
  if (!certificate) {
    errorText = WithErrorCode("The signing certificate could not be read (error ", GetLastError());
    return false;
  }
  CRYPT_KEY_PROV_INFO providerInfo{};
  providerInfo.pwszContainerName = const_cast<LPWSTR>(container.Name().c_str());
  providerInfo.pwszProvName = const_cast<LPWSTR>(kProviderName);
  providerInfo.dwProvType = kProviderType;
  providerInfo.dwKeySpec = AT_SIGNATURE;
  if (!CertSetCertificateContextProperty(certificate.Get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &providerInfo)) {
    errorText = WithErrorCode("The signing key could not be attached (error ", GetLastError());
    return false;
  }
  if (!SignDetached(certificate.Get(), content, signature, error)) {
    errorText = WithErrorCode("The Android package could not be signed (stored key, error ", error);
    return false;
  }
  return true;
}

}  // namespace tf::android
