#pragma once
// What the uninstaller's end-to-end tests lay out: an install folder, the
// uninstall key, the shortcuts and the per-user folder, each removed again at
// the end of a test. The 64-bit test build of tf_setup reads and writes the
// 64-bit registry view, and so does this test program (the 32-bit deliverable
// uses the 32-bit view, as the install that registers it does).
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/game_edition.h"
#include "common/known_folders.h"
#include "uninstall_entry.h"
#include "uninstall_test_support.h"

namespace tf::test {

inline std::wstring SetupExe() { return FromUnixPath(TF_SETUP_EXE); }

// The uninstall key with the "InstallLocation" an install writes.
class UninstallKey {
 public:
  explicit UninstallKey(const std::wstring& installLocation) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(installLocation.c_str()),
                   static_cast<DWORD>((installLocation.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ~UninstallKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKeyPath); }
  UninstallKey(const UninstallKey&) = delete;
  UninstallKey& operator=(const UninstallKey&) = delete;
};

// "Tarnfell.lnk" in the desktop, common programs and programs folders.
class Shortcuts {
 public:
  Shortcuts() {
    for (const KNOWNFOLDERID* id : {&FOLDERID_Desktop, &FOLDERID_CommonPrograms, &FOLDERID_Programs}) {
      std::wstring folder = KnownFolderPath(*id);
      if (folder.empty()) continue;
      CreateDirectoryW(folder.c_str(), nullptr);
      paths_.push_back(folder + L"\\" + kShortcutName);
      WriteFileBytes(paths_.back(), "lnk", 3);
    }
  }
  ~Shortcuts() {
    for (const std::wstring& p : paths_) DeleteFileW(p.c_str());
  }
  Shortcuts(const Shortcuts&) = delete;
  Shortcuts& operator=(const Shortcuts&) = delete;
  size_t Count() const { return paths_.size(); }
  size_t Present() const {
    size_t n = 0;
    for (const std::wstring& p : paths_) n += FileExists(p);
    return n;
  }

 private:
  std::vector<std::wstring> paths_;
};

// The per-user folder "Tarnfell" in the local application data folder, with
// settings and a signing key store.
class UserFolder {
 public:
  UserFolder() : path_(KnownFolderPath(FOLDERID_LocalAppData) + L"\\" + kUserFolderName) {
    MakeTree(path_, {L"settings.ini", L"android\\tarnfell.pfx"});
  }
  ~UserFolder() { RemoveTree(path_); }
  UserFolder(const UserFolder&) = delete;
  UserFolder& operator=(const UserFolder&) = delete;
  bool Intact() const { return ListTree(path_) == std::vector<std::wstring>{L"android\\", L"android\\tarnfell.pfx", L"settings.ini"}; }
  bool Gone() const { return !FileExists(path_); }

 private:
  std::wstring path_;
};

// A folder as an install leaves it: the two markers, game files, saves in
// GFX\_SAVES (when asked) and the uninstaller (a copy of the 64-bit tf_setup).
inline void LayOutInstall(const std::wstring& folder, bool withSaves) {
  MakeTree(folder, {L"tf_hybrid.dll", L"default.xbe", L"Tarnfell.exe", L"tarnfell.ini", L"GFX\\ARENA\\arena.xmf",
                    L"AUDMUSIC\\theme.wma"});
  if (withSaves) MakeTree(folder, {L"GFX\\_SAVES\\slot1.sav", L"GFX\\_SAVES\\old\\slot0.sav"});
  CopyFileW(SetupExe().c_str(), (folder + L"\\" + kUninstallerName).c_str(), FALSE);
}

inline const std::vector<std::wstring>& SavesOnly() {
  static const std::vector<std::wstring> saves = {L"GFX\\", L"GFX\\_SAVES\\", L"GFX\\_SAVES\\old\\",
                                                  L"GFX\\_SAVES\\old\\slot0.sav", L"GFX\\_SAVES\\slot1.sav"};
  return saves;
}

// The folder's listing once the delayed clean-up is over: its command retries
// removing the folder while the saves keep it, and a folder being removed
// cannot be listed for that moment. What it shows last when that never comes.
inline std::vector<std::wstring> ListingAfterCleanUp(const std::wstring& folder, const std::vector<std::wstring>& expected) {
  std::vector<std::wstring> seen;
  for (int i = 0; i < 300; ++i, Sleep(100))
    if ((seen = ListTree(folder)) == expected) break;
  return seen;
}

// Whether anything named like the uninstaller's parked copy is in the folder.
inline bool HoldsParkedCopy(const std::wstring& folder) {
  for (const std::wstring& e : ListTree(folder))
    if (e.rfind(L"tf_uninstall_", 0) == 0) return true;
  return false;
}

inline std::string LogOf(const std::wstring& tempFolder) { return ReadText(tempFolder + L"\\tf_uninstall.log"); }

}  // namespace tf::test
