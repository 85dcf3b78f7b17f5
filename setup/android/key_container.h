#pragma once
// Scratch key containers of the RSA and AES provider: GUID-based names, and
// an owner that deletes its container on every path out of a scope.
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/win32_handle.h"

namespace tf::android {

inline constexpr wchar_t kProviderName[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
inline constexpr DWORD kProviderType = PROV_RSA_AES;

// "tarnfell-apk-" + Data1, Data2, Data3 of a fresh GUID in lower-case hex.
std::wstring MakeContainerName();

// Deletes a key container (CRYPT_DELETEKEYSET); false when it could not be.
bool DeleteKeyContainer(const std::wstring& name, const wchar_t* provider, DWORD type);

// The names of the user's key containers (the providers of this family share
// them); empty when they cannot be listed.
std::set<std::wstring> KeyContainerNames();

// A new, empty container of kProviderName (CRYPT_NEWKEYSET). The destructor
// releases the provider and deletes the container again.
class ScratchContainer {
 public:
  ScratchContainer() = default;
  ~ScratchContainer() { Delete(); }
  ScratchContainer(const ScratchContainer&) = delete;
  ScratchContainer& operator=(const ScratchContainer&) = delete;

  // False with WithErrorCode(messagePrefix, the code of CryptAcquireContextW) in `errorText`.
  [[nodiscard]] bool Create(const char* messagePrefix, std::string& errorText);
  void Delete();

  HCRYPTPROV Provider() const { return provider_.Get(); }
  const std::wstring& Name() const { return name_; }
  // The container's signature key, as a certificate's key-provider property names it.
  CRYPT_KEY_PROV_INFO KeyProviderInfo() const;

 private:
  std::wstring name_;
  UniqueCryptProv provider_;
  bool created_ = false;
};

// An exportable key as a PRIVATEKEYBLOB; false with GetLastError() of the
// failing call in `error`, and `blob` empty.
bool ExportPrivateKeyBlob(HCRYPTKEY key, std::vector<uint8_t>& blob, uint32_t& error);

// "<prefix><N>)." with N unsigned decimal, as the key and signing messages say it.
std::string WithErrorCode(const char* prefix, uint32_t code);

}  // namespace tf::android
