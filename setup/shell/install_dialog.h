#pragma once
// The install dialog (template 200): the user picks the image and the folder,
// the install runs on a worker thread, and the dialog shows its progress.
#include <windows.h>

#include "common/win32_handle.h"
#include "shell/install_session.h"

namespace tf {

// What the dialog works with, given to it when it is created.
struct InstallDialogState {
  explicit InstallDialogState(InstallSession& installSession, bool noPfx = false)
      : session(installSession), noPfxExport(noPfx) {}

  InstallSession& session;    // the one the worker runs
  bool noPfxExport;           // the entry's, for every run's choices
  bool installing = false;    // from a worker's start until its WM_APP+2
  UniqueKernelHandle worker;  // null when there is none
};

// Runs the dialog modally for the session; 1 after a completed install, and
// when the dialog could not be shown (said in a message box); 0 otherwise.
// `noPfxExport` goes into every run's choices.
int RunInstallDialog(InstallSession& session, bool noPfxExport = false);

// The procedure of template 200; the lParam of WM_INITDIALOG is an InstallDialogState.
INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tf
