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

// The removal: shortcuts, registry key, the per-user folder (with alsoSaves),
// the install folder's tree under the install-folder guard, then the delayed
// clean-up (not when the guard refused the folder). With a window, moves its
// progress bar to 40, 55, 70 and 100.
void RunUninstall(const UninstallState& state, HWND window);

}  // namespace tf
