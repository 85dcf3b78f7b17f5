#pragma once
// What the install dialog's lifecycle handlers and its command handlers share.
#include <windows.h>

#include "shell/install_dialog.h"

namespace tf {

// The eight controls that stay disabled while an install runs.
void EnableInputs(HWND dialog, bool enabled);

// WM_COMMAND: true when the command was handled (Cancel, both Browse buttons, Install).
bool HandleInstallDialogCommand(HWND dialog, InstallDialogState& state, int commandId);

}  // namespace tf
