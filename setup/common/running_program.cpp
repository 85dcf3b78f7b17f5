#include "common/running_program.h"

#include <windows.h>

namespace tf {

std::wstring RunningProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) return path.substr(0, n);
    if (path.size() >= 0x8000) return L"";
    path.resize(path.size() * 2);
  }
}

bool FindProgramResource(uint16_t id, const uint8_t*& bytes, uint32_t& size) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (!loaded) return false;
  bytes = static_cast<const uint8_t*>(LockResource(loaded));
  if (!bytes) return false;
  size = SizeofResource(nullptr, found);
  return true;
}

}  // namespace tf
