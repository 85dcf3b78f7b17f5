#pragma once
// The one object that carries an install run: the user's choices, progress,
// failure, cancellation and, in silent mode, the log file. The program's
// entry owns it and hands it to the mode that runs.
#include <windows.h>

#include <string>

#include "common/install_reporter.h"
#include "common/win32_handle.h"
#include "pipeline/run_install.h"

namespace tf {

inline constexpr UINT kMsgProgress = WM_APP + 1;
inline constexpr UINT kMsgInstallFinished = WM_APP + 2;

// The percentage and status line, always a pair that was reported together.
struct InstallProgress {
  int percent = 0;
  std::wstring statusText;
};

class InstallSession final : public InstallReporter {
 public:
  InstallSession();
  // Silent mode: reports go to this log (when it is valid).
  explicit InstallSession(UniqueFile logFile);
  ~InstallSession();
  InstallSession(const InstallSession&) = delete;
  InstallSession& operator=(const InstallSession&) = delete;

  // Before each run, while none is under way: the window that gets the
  // notices (null: reports go to the log), the choices; no cancel request and
  // no failure message are left from an earlier run.
  void Begin(HWND window, const InstallChoices& choices);
  // RunInstall with the choices; the window, if any, gets kMsgInstallFinished
  // once it has returned.
  bool Run();

  // Stores the pair under the lock, then posts to the window or appends a log line.
  void Report(int percent, const std::wstring& text) override;
  bool Fail(const std::wstring& message) override;
  bool IsCancelled() override;
  // From any thread: the run stops at its next progress call.
  void RequestCancel();

  // The latest pair (any thread).
  InstallProgress Progress() const;
  // Read once a run has ended.
  bool Installed() const { return installed_; }
  const std::wstring& FailureMessage() const { return failureMessage_; }
  const InstallChoices& Choices() const { return choices_; }

 private:
  HWND window_ = nullptr;
  InstallChoices choices_;
  volatile LONG cancelRequested_ = 0;  // interlocked only
  mutable CRITICAL_SECTION lock_{};
  InstallProgress progress_;  // under lock_
  bool installed_ = false;    // never reset: a completed install ends the dialog
  std::wstring failureMessage_;
  UniqueFile logFile_;
};

// TF_APK_NO_PFX, read by the entry: set to a value shorter than 8 characters
// that starts with neither NUL nor "0", it asks for new Android signing keys
// in the raw form.
bool NoPfxRequested();

}  // namespace tf
