#include "uninstall_entry.h"

#include <objbase.h>
#include <shlobj.h>

namespace tf::test {

namespace {
const wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnfell";

std::wstring Known(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) result = path;
  CoTaskMemFree(path);
  return result;
}
}  // namespace

bool ReadUninstallEntry(REGSAM view, std::map<std::wstring, RegistryValue>& values) {
  values.clear();
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    RegistryValue v;
    v.type = type;
    v.data.resize(size);
    nameLength = 256;
    RegEnumValueW(key, i, name, &nameLength, nullptr, &type, v.data.data(), &size);
    v.data.resize(size);
    values[std::wstring(name, nameLength)] = v;
  }
  RegCloseKey(key);
  return true;
}

bool UninstallEntryExists(REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void DeleteUninstallEntry(REGSAM view) { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, view, 0); }

std::wstring RegistryText(const RegistryValue& value) {
  if (value.type != REG_SZ || value.data.size() < sizeof(wchar_t)) return {};
  std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
  memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

ShortcutPaths ShortcutLocations() {
  auto link = [](REFKNOWNFOLDERID id) {
    std::wstring folder = Known(id);
    return folder.empty() ? folder : folder + L"\\Tarnfell.lnk";
  };
  return {link(FOLDERID_Desktop), link(FOLDERID_CommonPrograms), link(FOLDERID_Programs)};
}

void ShortcutPaths::Delete() const {
  for (const std::wstring* p : {&desktop, &commonPrograms, &programs})
    if (!p->empty()) DeleteFileW(p->c_str());
}

}  // namespace tf::test
