#include "pipeline/uninstall_registration.h"

#include "common/game_edition.h"
#include "common/version.h"
#include "common/win32_handle.h"
#include "pipeline/folder_size.h"

namespace tf {

std::vector<UninstallValue> UninstallValues(const std::wstring& installFolder, const std::wstring& uninstallerPath,
                                            uint64_t sizeKiB) {
  const std::wstring quoted = L"\"" + uninstallerPath + L"\"";
  return {
      {L"DisplayName", REG_SZ, kGameTitle},
      {L"DisplayVersion", REG_SZ, L"" TF_VERSION_TEXT},
      {L"Publisher", REG_SZ, L"Native PC port"},
      {kInstallLocationValue, REG_SZ, installFolder},
      {L"DisplayIcon", REG_SZ, uninstallerPath},
      {L"UninstallString", REG_SZ, quoted + L" /uninstall"},
      {L"QuietUninstallString", REG_SZ, quoted + L" /uninstall /quiet"},
      {L"NoModify", REG_DWORD, {}, 1},
      {L"NoRepair", REG_DWORD, {}, 1},
      {L"EstimatedSize", REG_DWORD, {}, static_cast<DWORD>(sizeKiB & 0xFFFFFFFFu)},
  };
}

bool RegisterUninstall(const std::wstring& installFolder, const std::wstring& uninstallerPath, DWORD& error) {
  UniqueRegKey key;
  error = static_cast<DWORD>(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Put(), nullptr));
  if (error != ERROR_SUCCESS) return false;
  for (const UninstallValue& v : UninstallValues(installFolder, uninstallerPath, FolderSizeKiB(installFolder))) {
    if (v.type == REG_SZ)
      error = static_cast<DWORD>(RegSetValueExW(key.Get(), v.name, 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(v.text.c_str()),
                                                static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t))));
    else
      error = static_cast<DWORD>(RegSetValueExW(key.Get(), v.name, 0, REG_DWORD,
                                                reinterpret_cast<const BYTE*>(&v.number), sizeof(v.number)));
    if (error != ERROR_SUCCESS) return false;
  }
  return true;
}

}  // namespace tf
