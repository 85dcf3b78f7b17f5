#pragma once
// The arithmetic behind progress reports and log lines.
#include <cstdint>
#include <string>

namespace tf {

// "[%3d%%] " formatted into a 16-byte buffer with truncation.
std::string FormatLogPrefix(int percent);

// Extraction bytes mapped onto 5..85.
int CopyProgressPercent(uint64_t done, uint64_t total);
// Android build counts mapped onto 90..96.
int BuildProgressPercent(uint64_t done, uint64_t total);

inline constexpr uint64_t kCopyReportStep = 0x200000;  // 2 MiB
// The status of an extraction report, followed by the path of the file being copied.
inline constexpr wchar_t kCopyStatusText[] = L"Copying game files from the disc image\u2026  ";

// Whether a copy callback reports: more than 2 MiB since the last report, the
// copy complete, or a count below the last report (a new run). Updates lastReported.
bool CopyProgressDue(uint64_t done, uint64_t total, uint64_t& lastReported);

}  // namespace tf
