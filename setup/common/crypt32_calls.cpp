#include "common/crypt32_calls.h"

#include "common/system_library.h"

namespace tf {

namespace {

template <typename F>
bool Take(HMODULE module, const char* name, F& entry) {
  FARPROC found = GetProcAddress(module, name);
  if (found == nullptr) return false;
  entry = reinterpret_cast<F>(reinterpret_cast<void*>(found));
  return true;
}

struct LoadedCrypt32 {
  Crypt32Calls calls;
  bool loaded = false;
  uint32_t error = 0;
  LoadedCrypt32() { loaded = LoadCrypt32Calls(L"crypt32.dll", calls, error); }
};

const LoadedCrypt32& TheCrypt32() {
  static const LoadedCrypt32 crypt32;  // loaded once, by the first thread to ask
  return crypt32;
}

}  // namespace

bool LoadCrypt32Calls(const wchar_t* dllName, Crypt32Calls& calls, uint32_t& error) {
  HMODULE module = LoadSystemLibrary(dllName, error);
  if (module == nullptr) return false;
  Crypt32Calls c;
#define TF_TAKE(name) Take(module, #name, c.name)
  const bool all =
      TF_TAKE(CertAddCertificateContextToStore) && TF_TAKE(CertCloseStore) && TF_TAKE(CertCreateCertificateContext) &&
      TF_TAKE(CertCreateSelfSignCertificate) && TF_TAKE(CertFindCertificateInStore) &&
      TF_TAKE(CertFreeCertificateContext) && TF_TAKE(CertGetCertificateContextProperty) && TF_TAKE(CertOpenStore) &&
      TF_TAKE(CertSetCertificateContextProperty) && TF_TAKE(CertStrToNameW) && TF_TAKE(CryptBinaryToStringA) &&
      TF_TAKE(CryptDecodeObjectEx) && TF_TAKE(CryptSignMessage) && TF_TAKE(CryptVerifyDetachedMessageSignature) &&
      TF_TAKE(PFXExportCertStoreEx) && TF_TAKE(PFXImportCertStore);
#undef TF_TAKE
  if (!all) {
    error = ERROR_PROC_NOT_FOUND;
    FreeLibrary(module);
    return false;
  }
  calls = c;  // the module stays loaded for the table's functions
  return true;
}

const Crypt32Calls& Crypt32() { return TheCrypt32().calls; }

bool Crypt32Loaded(uint32_t& error) {
  const LoadedCrypt32& crypt32 = TheCrypt32();
  if (!crypt32.loaded) error = crypt32.error;
  return crypt32.loaded;
}

}  // namespace tf
