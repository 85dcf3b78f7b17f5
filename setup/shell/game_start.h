#pragma once
// Starting the installed game at the end of an interactive install. The
// installer runs elevated; the game must not: it is started by the desktop's
// shell, which runs as the signed-in user.
#include <string>

namespace tf {

// Asks the desktop's shell to open `program` (no arguments) in `folder`,
// shown normally. False when there is no desktop shell to ask (as under
// Wine) or it refused; nothing was started then. Needs COM on the thread.
bool OpenThroughDesktopShell(const std::wstring& program, const std::wstring& folder);

// The game, "Tarnfell.exe" in the install folder: through the desktop's
// shell, or, where that is not available, started directly.
void StartInstalledGame(const std::wstring& installFolder);

}  // namespace tf
