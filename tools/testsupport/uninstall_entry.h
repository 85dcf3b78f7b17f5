#pragma once
// The uninstall entry below HKEY_LOCAL_MACHINE, read and removed by tests in a
// chosen registry view (KEY_WOW64_64KEY or KEY_WOW64_32KEY), whatever the
// width of the test program.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tf::test {

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;  // as stored: strings with their terminating NUL
};

// Every value of the entry, by name; false when the key is not in that view.
bool ReadUninstallEntry(REGSAM view, std::map<std::wstring, RegistryValue>& values);
// Whether the key is in that view.
bool UninstallEntryExists(REGSAM view);
// Removes the key from that view, if it is there.
void DeleteUninstallEntry(REGSAM view);

// The text of a REG_SZ value without its terminating NUL (empty for anything else).
std::wstring RegistryText(const RegistryValue& value);

// Where an install puts Tarnfell.lnk: the account's desktop, the programs
// folder of all users, and the account's own programs folder (empty when a
// folder does not resolve). Delete removes all three.
struct ShortcutPaths {
  std::wstring desktop, commonPrograms, programs;
  void Delete() const;
};
ShortcutPaths ShortcutLocations();

}  // namespace tf::test
