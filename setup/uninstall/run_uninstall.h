#pragma once
// The uninstall mode: finding the install folder, asking (dialog 220) or not
// ("/quiet"), and removing the game.
#include <windows.h>

#include <string>

namespace tf {

// What the removal works with: written before it starts, read by it.
struct UninstallState {
  std::wstring uninstallFolder;  // never empty when RunUninstall runs
  std::wstring programPath;      // the running program, deleted by the delayed clean-up
  bool alsoSaves = false;        // from the dialog's check box; never set by "/quiet"
};

// "InstallLocation" of the uninstall key (registry view of the program's own
// width), or "" when the key or the value cannot be read or the value does not
// fit in 260 characters with its terminator.
std::wstring ReadInstallLocation();

// The install folder beside the program, else the one the registry names;
// refuses (message box, log line, 1) when neither is one. Then "/quiet"
// uninstalls at once (0); otherwise dialog 220 decides (0 after an uninstall,
// 1 when cancelled or closed, or when it could not be shown: a message box
// says so).
int RunUninstallMode(const std::wstring& programPath, const std::wstring& commandTail, HINSTANCE instance);

inline constexpr wchar_t kNotFoundText[] =
    L"This uninstaller could not find the installed game.\n\nNothing has been changed. Run the uninstaller from "
    L"inside the game's own folder, or use Settings > Apps.";
inline constexpr wchar_t kInUseText[] = L"Tarnfell or one of its files is in use. Close the game and try again.";
inline constexpr wchar_t kIncompleteText[] =
    L"Some files could not be removed. Close any program that uses them and run the uninstaller again.";

enum class UninstallOutcome {
  Removed,     // everything is gone but the kept saves; the delayed clean-up runs
  Refused,     // the folder is no install folder (any more): nothing was removed
  InUse,       // a file of the install is open elsewhere: nothing was removed
  Incomplete,  // something stayed: the entry, the uninstaller and its markers stay for another run
};

// The removal, in an order that never leaves an install that cannot be
// uninstalled again: the guard's test of the folder and the check for files in
// use come first; then the tree (sparing the two markers and the running
// uninstaller) and, with alsoSaves, the per-user folder; only when nothing
// else is left, the registry entry, the markers, the shortcuts and, by the
// delayed clean-up, the uninstaller itself. With a window, moves its progress
// bar to 40, 55, 70 and 100.
UninstallOutcome RunUninstall(const UninstallState& state, HWND window);

}  // namespace tf
