#include "common/system_library.h"

namespace tf {

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(folder, n);
}

void NarrowDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name, uint32_t& error) {
  if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  error = GetLastError();
  if (error != ERROR_INVALID_PARAMETER) return nullptr;
  // A system without the search flags: the full path, and the DLL's own
  // dependencies looked for beside it first.
  const std::wstring folder = SystemFolder();
  if (folder.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return nullptr;
  }
  const std::wstring path = folder + L"\\" + name;
  if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) return module;
  error = GetLastError();
  return nullptr;
}

}  // namespace tf
