#include "common/progress_math.h"

#include <cstdio>

namespace tf {

std::string FormatLogPrefix(int percent) {
  char buf[16];
  int n = std::snprintf(buf, sizeof(buf), "[%3d%%] ", percent);
  if (n <= 0) return std::string();
  return std::string(buf, n < static_cast<int>(sizeof(buf)) ? static_cast<size_t>(n) : sizeof(buf) - 1);
}

int CopyProgressPercent(uint64_t done, uint64_t total) {
  if (total == 0) return 85;
  return static_cast<int>(5 + done * 80 / total);
}

int BuildProgressPercent(uint64_t done, uint64_t total) {
  if (total == 0) return 96;
  return static_cast<int>(90 + done * 6 / total);
}

bool CopyProgressDue(uint64_t done, uint64_t total, uint64_t& lastReported) {
  if (done - lastReported <= kCopyReportStep && done != total) return false;
  lastReported = done;
  return true;
}

}  // namespace tf
