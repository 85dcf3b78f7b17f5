#pragma once
// The names an install leaves behind, which the uninstaller finds again.
namespace tf {

inline constexpr wchar_t kGameTitle[] = L"Tarnfell";
inline constexpr wchar_t kGameProgramName[] = L"Tarnfell.exe";  // the loader, written by the payload step
inline constexpr wchar_t kUninstallerName[] = L"uninstall.exe";
inline constexpr wchar_t kShortcutName[] = L"Tarnfell.lnk";
// Appended to Program Files for the default install folder, and to a folder picked in the dialog.
inline constexpr wchar_t kGameFolderName[] = L"Tarnfell";
// Below HKEY_LOCAL_MACHINE, in the registry view of the program's own width.
inline constexpr wchar_t kUninstallKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnfell";
// In the local application data folder: saved settings and the Android signing key.
inline constexpr wchar_t kUserFolderName[] = L"Tarnfell";

}  // namespace tf
