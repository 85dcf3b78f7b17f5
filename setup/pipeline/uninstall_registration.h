#pragma once
// The uninstall entry that Windows lists under installed programs.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tf {

struct UninstallValue {
  const wchar_t* name;
  DWORD type;  // REG_SZ or REG_DWORD
  std::wstring text;
  DWORD number = 0;
};

// The ten values in the order they are written; `sizeKiB` goes in as its low 32 bits.
std::vector<UninstallValue> UninstallValues(const std::wstring& installFolder, const std::wstring& uninstallerPath,
                                            uint64_t sizeKiB);

// Creates or opens the key below HKEY_LOCAL_MACHINE in the registry view of
// the program's own width and writes the ten values (strings with their
// terminating NUL). False with the failing call's error code.
bool RegisterUninstall(const std::wstring& installFolder, const std::wstring& uninstallerPath, DWORD& error);

}  // namespace tf
