#include "common/install_reporter.h"

#include "common/progress_math.h"
#include "common/text.h"

namespace tf {

bool CopyProgress(void* context, const char* path, uint64_t done, uint64_t total) {
  auto* copy = static_cast<CopyReport*>(context);
  if (copy->reporter.IsCancelled()) return false;
  int pct = CopyProgressPercent(done, total);
  if (!CopyProgressDue(done, total, copy->lastReported)) return true;
  std::wstring text = kCopyStatusText;
  if (path != nullptr && *path != '\0') text += Widen(path, CP_ACP);
  copy->reporter.Report(pct, text);
  return true;
}

bool BuildProgress(void* context, const std::wstring& text, uint64_t done, uint64_t total) {
  if (context == nullptr) return true;
  auto* reporter = static_cast<InstallReporter*>(context);
  if (reporter->IsCancelled()) return false;
  reporter->Report(BuildProgressPercent(done, total), text);
  return true;
}

}  // namespace tf
