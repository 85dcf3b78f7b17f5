#include "shell/install_session.h"

#include "common/progress_math.h"
#include "common/text.h"
#include "common/win32_file.h"

namespace tf {

void InstallSession::Report(int newPercent, const std::wstring& text) {
  EnterCriticalSection(&lock);
  percent = newPercent;
  statusText = text;
  LeaveCriticalSection(&lock);

  if (window != nullptr) {
    PostMessageW(window, kMsgProgress, 0, 0);
    return;
  }
  if (!logFile) return;
  std::string utf8 = Narrow(text + L"\r\n", CP_UTF8);
  std::string prefix = FormatLogPrefix(newPercent);
  DWORD wrote = 0;
  if (!prefix.empty()) WriteFile(logFile.Get(), prefix.data(), static_cast<DWORD>(prefix.size()), &wrote, nullptr);
  if (!utf8.empty()) WriteFile(logFile.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &wrote, nullptr);
}

bool InstallSession::Fail(const std::wstring& message) {
  failureMessage = message;
  Report(percent, L"Failed: " + message);
  return false;
}

bool InstallSession::IsCancelled() { return InterlockedCompareExchange(&cancelRequested, 0, 0) != 0; }

void InstallSession::RequestCancel() { InterlockedExchange(&cancelRequested, 1); }

bool InstallSession::Run() {
  // The form the install uses everywhere, so that "Play now?" finds the game there.
  const std::wstring full = FullFolderPath(choices.installFolder);
  if (!full.empty()) choices.installFolder = full;
  installed = RunInstall(*this, choices);
  return installed;
}

InstallSession& TheInstallSession() {
  static InstallSession session;
  return session;
}

}  // namespace tf
