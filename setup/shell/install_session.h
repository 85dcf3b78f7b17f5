#pragma once
// The one object that carries an install run: the user's choices, progress,
// failure, cancellation and, in silent mode, the log file.
#include <windows.h>

#include <string>

#include "common/install_reporter.h"
#include "common/win32_handle.h"
#include "pipeline/run_install.h"

namespace tf {

inline constexpr UINT kMsgProgress = WM_APP + 1;
inline constexpr UINT kMsgInstallFinished = WM_APP + 2;

struct InstallSession final : InstallReporter {
  InstallSession() { InitializeCriticalSection(&lock); }  // never deleted: the session lives for the process
  InstallSession(const InstallSession&) = delete;
  InstallSession& operator=(const InstallSession&) = delete;

  HWND window = nullptr;
  InstallChoices choices;
  volatile LONG cancelRequested = 0;
  CRITICAL_SECTION lock{};
  int percent = 0;
  std::wstring statusText;
  bool installed = false;
  std::wstring failureMessage;
  UniqueFile logFile;  // silent mode only

  // Stores the pair under the lock, then posts to the window or appends a log line.
  void Report(int newPercent, const std::wstring& text) override;
  bool Fail(const std::wstring& message) override;
  bool IsCancelled() override;
  void RequestCancel();

  // RunInstall with the session's choices; `installed` tells whether it reached "Done.".
  bool Run();
};

// The process's one session.
InstallSession& TheInstallSession();

}  // namespace tf
