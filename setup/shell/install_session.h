#pragma once
// The one object that carries an install run: inputs, progress, failure,
// cancellation and, in silent mode, the log file.
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/win32_handle.h"

namespace tf {

inline constexpr UINT kMsgProgress = WM_APP + 1;
inline constexpr UINT kMsgInstallFinished = WM_APP + 2;

struct InstallSession {
  InstallSession() { InitializeCriticalSection(&lock); }  // never deleted: the session lives for the process
  InstallSession(const InstallSession&) = delete;
  InstallSession& operator=(const InstallSession&) = delete;

  HWND window = nullptr;
  std::wstring discImagePath;
  std::wstring installFolder;
  bool desktopShortcut = true;
  bool startMenuShortcut = true;
  bool buildAndroid = false;
  volatile LONG cancelRequested = 0;
  CRITICAL_SECTION lock{};
  int percent = 0;
  std::wstring statusText;
  bool installed = false;
  std::wstring failureMessage;
  UniqueFile logFile;  // silent mode only

  // Stores the pair under the lock, then posts to the window or appends a log line.
  void Report(int newPercent, const std::wstring& text);
  // Records the message, reports "Failed: " + message at the current percentage; returns false.
  bool Fail(const std::wstring& message);
  bool IsCancelled();
  void RequestCancel();
};

// The process's one session.
InstallSession& TheInstallSession();

// Extraction progress (context: the session): 5..85, throttled to one report per 2 MiB.
bool CopyProgress(void* context, const char* path, uint64_t done, uint64_t total);
// Android build progress (context: the session or null): 90..96, unthrottled.
bool BuildProgress(void* context, const std::wstring& text, uint64_t done, uint64_t total);

}  // namespace tf
