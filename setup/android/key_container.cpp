#include "android/key_container.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace tf::android {

std::wstring MakeContainerName() {
  GUID guid{};
  CoCreateGuid(&guid);
  wchar_t name[64] = {};
  swprintf(name, 64, L"tarnfell-apk-%08lx%04hx%04hx", static_cast<unsigned long>(guid.Data1), guid.Data2,
           guid.Data3);
  return name;
}

bool DeleteKeyContainer(const std::wstring& name, const wchar_t* provider, DWORD type) {
  HCRYPTPROV unused = 0;  // nothing to release after CRYPT_DELETEKEYSET
  return CryptAcquireContextW(&unused, name.c_str(), provider, type, CRYPT_DELETEKEYSET) != FALSE;
}

std::set<std::wstring> KeyContainerNames() {
  std::set<std::wstring> names;
  UniqueCryptProv provider;
  if (!CryptAcquireContextW(provider.Put(), nullptr, kProviderName, kProviderType, CRYPT_VERIFYCONTEXT)) return names;
  char name[1024];
  for (DWORD flags = CRYPT_FIRST;; flags = 0) {
    DWORD size = sizeof(name);
    if (!CryptGetProvParam(provider.Get(), PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags)) break;
    const size_t length = strnlen(name, std::min<size_t>(size, sizeof(name)));
    names.emplace(name, name + length);  // container names are ASCII
  }
  return names;
}

bool ScratchContainer::Create(const char* messagePrefix, std::string& errorText) {
  Delete();
  name_ = MakeContainerName();
  if (!CryptAcquireContextW(provider_.Put(), name_.c_str(), kProviderName, kProviderType, CRYPT_NEWKEYSET)) {
    errorText = WithErrorCode(messagePrefix, GetLastError());
    return false;
  }
  created_ = true;
  return true;
}

CRYPT_KEY_PROV_INFO ScratchContainer::KeyProviderInfo() const {
  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = const_cast<LPWSTR>(name_.c_str());
  info.pwszProvName = const_cast<LPWSTR>(kProviderName);
  info.dwProvType = kProviderType;
  info.dwKeySpec = AT_SIGNATURE;
  return info;
}

void ScratchContainer::Delete() {
  provider_.Reset();
  if (created_) DeleteKeyContainer(name_, kProviderName, kProviderType);
  created_ = false;
}

bool ExportPrivateKeyBlob(HCRYPTKEY key, std::vector<uint8_t>& blob, uint32_t& error) {
  blob.clear();
  DWORD size = 0;
  if (!CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &size) || size < sizeof(BLOBHEADER)) {
    error = GetLastError();
    return false;
  }
  blob.resize(size);
  if (!CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, blob.data(), &size) || size < sizeof(BLOBHEADER)) {
    error = GetLastError();
    blob.clear();
    return false;
  }
  blob.resize(size);
  return true;
}

std::string WithErrorCode(const char* prefix, uint32_t code) {
  return std::string(prefix) + std::to_string(code) + ").";
}

}  // namespace tf::android
