#pragma once
// What the steps of an install report through: progress, the one failure and
// the user's request to stop. The shell's install session provides it.
#include <cstdint>
#include <string>

namespace tf {

class InstallReporter {
 public:
  // A new percentage and status line.
  virtual void Report(int percent, const std::wstring& text) = 0;
  // Records the message, reports "Failed: " + message at the current percentage; returns false.
  virtual bool Fail(const std::wstring& message) = 0;
  virtual bool IsCancelled() = 0;

 protected:
  ~InstallReporter() = default;
};

// One extraction's progress: where it goes, and the byte count last reported,
// which starts at 0 with each run.
struct CopyReport {
  InstallReporter& reporter;
  uint64_t lastReported = 0;
};

// Extraction progress (context: the run's CopyReport): 5..85, throttled to one
// report per 2 MiB; `path` is the disc's name of the file.
bool CopyProgress(void* context, const char* path, uint64_t done, uint64_t total);
// Android build progress (context: the reporter or null): 90..96, unthrottled.
bool BuildProgress(void* context, const std::wstring& text, uint64_t done, uint64_t total);

}  // namespace tf
