#include "shell/install_session.h"

#include "common/progress_math.h"
#include "common/text.h"
#include "common/win32_file.h"

namespace tf {

InstallSession::InstallSession() { InitializeCriticalSection(&lock_); }

InstallSession::InstallSession(UniqueFile logFile) : InstallSession() { logFile_ = std::move(logFile); }

InstallSession::~InstallSession() { DeleteCriticalSection(&lock_); }

void InstallSession::Begin(HWND window, const InstallChoices& choices) {
  window_ = window;
  choices_ = choices;
  failureMessage_.clear();
  InterlockedExchange(&cancelRequested_, 0);
}

bool InstallSession::Run() {
  // The form the install uses everywhere, so that "Play now?" finds the game there.
  const std::wstring full = FullFolderPath(choices_.installFolder);
  if (!full.empty()) choices_.installFolder = full;
  const bool ok = RunInstall(*this, choices_);
  if (ok) installed_ = true;
  if (window_ != nullptr) PostMessageW(window_, kMsgInstallFinished, 0, 0);
  return ok;
}

void InstallSession::Report(int percent, const std::wstring& text) {
  EnterCriticalSection(&lock_);
  progress_.percent = percent;
  progress_.statusText = text;
  LeaveCriticalSection(&lock_);

  if (window_ != nullptr) {
    PostMessageW(window_, kMsgProgress, 0, 0);
    return;
  }
  if (!logFile_) return;
  std::string utf8 = Narrow(text + L"\r\n", CP_UTF8);
  std::string prefix = FormatLogPrefix(percent);
  DWORD wrote = 0;
  if (!prefix.empty()) WriteFile(logFile_.Get(), prefix.data(), static_cast<DWORD>(prefix.size()), &wrote, nullptr);
  if (!utf8.empty()) WriteFile(logFile_.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &wrote, nullptr);
}

bool InstallSession::Fail(const std::wstring& message) {
  failureMessage_ = message;
  Report(Progress().percent, L"Failed: " + message);
  return false;
}

bool InstallSession::IsCancelled() { return InterlockedCompareExchange(&cancelRequested_, 0, 0) != 0; }

void InstallSession::RequestCancel() { InterlockedExchange(&cancelRequested_, 1); }

InstallProgress InstallSession::Progress() const {
  EnterCriticalSection(&lock_);
  InstallProgress copy = progress_;
  LeaveCriticalSection(&lock_);
  return copy;
}

bool NoPfxRequested() {
  char value[8] = {};
  const DWORD length = GetEnvironmentVariableA("TF_APK_NO_PFX", value, sizeof(value));
  // A value that does not fit is not copied: it leaves the export on.
  return length != 0 && length < sizeof(value) && value[0] != '\0' && value[0] != '0';
}

}  // namespace tf
