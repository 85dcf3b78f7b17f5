#include "shell/install_session.h"

#include "common/text.h"
#include "shell/progress_math.h"

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

InstallSession& TheInstallSession() {
  static InstallSession session;
  return session;
}

bool CopyProgress(void* context, const char* path, uint64_t done, uint64_t total) {
  static uint64_t lastReported = 0;
  auto* session = static_cast<InstallSession*>(context);
  if (session->IsCancelled()) return false;
  int pct = CopyProgressPercent(done, total);
  if (!CopyProgressDue(done, total, lastReported)) return true;
  std::wstring text = kCopyStatusText;
  if (path != nullptr && *path != '\0') text += Widen(path, CP_ACP);
  session->Report(pct, text);
  return true;
}

bool BuildProgress(void* context, const std::wstring& text, uint64_t done, uint64_t total) {
  if (context == nullptr) return true;
  auto* session = static_cast<InstallSession*>(context);
  if (session->IsCancelled()) return false;
  session->Report(BuildProgressPercent(done, total), text);
  return true;
}

}  // namespace tf
