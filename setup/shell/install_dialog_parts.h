#pragma once
// What the install dialog's lifecycle handlers and its command handlers share.
#include <windows.h>

#include "common/win32_handle.h"

namespace tf {

struct InstallDialogState {
  bool installing = false;    // from a worker's start until its WM_APP+2
  UniqueKernelHandle worker;  // null when there is none
};

InstallDialogState& TheInstallDialogState();

// The eight controls that stay disabled while an install runs.
void EnableInputs(HWND dialog, bool enabled);

// WM_COMMAND: true when the command was handled (Cancel, both Browse buttons, Install).
bool HandleInstallDialogCommand(HWND dialog, int commandId);

}  // namespace tf
