#pragma once
// The crypt32 functions the program uses, taken from the system folder's
// crypt32.dll on first use. crypt32 is not one of the DLLs that Windows always
// takes from the system folder, so it is not imported: an imported one would
// be looked for beside the program first.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

namespace tf {

namespace detail {
// What every entry of a table holds until crypt32's own function is in it.
template <typename R, typename... Args>
R WINAPI Crypt32Unavailable(Args...) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return R{};
}
}  // namespace detail

// One entry per function, typed as the SDK declares it.
struct Crypt32Calls {
  decltype(&::CertAddCertificateContextToStore) CertAddCertificateContextToStore = detail::Crypt32Unavailable;
  decltype(&::CertCloseStore) CertCloseStore = detail::Crypt32Unavailable;
  decltype(&::CertCreateCertificateContext) CertCreateCertificateContext = detail::Crypt32Unavailable;
  decltype(&::CertCreateSelfSignCertificate) CertCreateSelfSignCertificate = detail::Crypt32Unavailable;
  decltype(&::CertFindCertificateInStore) CertFindCertificateInStore = detail::Crypt32Unavailable;
  decltype(&::CertFreeCertificateContext) CertFreeCertificateContext = detail::Crypt32Unavailable;
  decltype(&::CertGetCertificateContextProperty) CertGetCertificateContextProperty = detail::Crypt32Unavailable;
  decltype(&::CertOpenStore) CertOpenStore = detail::Crypt32Unavailable;
  decltype(&::CertSetCertificateContextProperty) CertSetCertificateContextProperty = detail::Crypt32Unavailable;
  decltype(&::CertStrToNameW) CertStrToNameW = detail::Crypt32Unavailable;
  decltype(&::CryptBinaryToStringA) CryptBinaryToStringA = detail::Crypt32Unavailable;
  decltype(&::CryptDecodeObjectEx) CryptDecodeObjectEx = detail::Crypt32Unavailable;
  decltype(&::CryptSignMessage) CryptSignMessage = detail::Crypt32Unavailable;
  decltype(&::CryptVerifyDetachedMessageSignature) CryptVerifyDetachedMessageSignature = detail::Crypt32Unavailable;
  decltype(&::PFXExportCertStoreEx) PFXExportCertStoreEx = detail::Crypt32Unavailable;
  decltype(&::PFXImportCertStore) PFXImportCertStore = detail::Crypt32Unavailable;
};

// Fills `calls` from the DLL `dllName` of the system folder. False with the
// error code when the DLL or one of the functions is missing; `calls` is then
// left as it was.
bool LoadCrypt32Calls(const wchar_t* dllName, Crypt32Calls& calls, uint32_t& error);

// The program's table, loaded from "crypt32.dll" on the first call. Where that
// failed, every entry fails (FALSE or null, GetLastError() ERROR_MOD_NOT_FOUND).
const Crypt32Calls& Crypt32();
// Whether Crypt32() holds crypt32's own functions; the load's error code otherwise.
bool Crypt32Loaded(uint32_t& error);

}  // namespace tf
