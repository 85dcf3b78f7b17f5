#pragma once
// The uninstall log: "tf_uninstall.log" in the temporary folder, UTF-8 without
// a byte-order mark, every line appended (across runs) and ended with CR LF.
#include <windows.h>

namespace tf {

inline constexpr int kUninstallLogLineLimit = 1023;  // longer lines are dropped whole

// The log's path, within MAX_PATH characters. False when the temporary folder
// is unknown or leaves no room for the file name: the line is then dropped
// rather than written to a cut path.
bool UninstallLogPath(wchar_t (&path)[MAX_PATH]);

// Formats one line (wide printf conventions: %s a wide text, %d an int, %lu a
// 32-bit unsigned value) and appends it. Best effort: a line that cannot be
// written, is empty or would be longer than 1023 characters is dropped.
void WriteUninstallLog(const wchar_t* format, ...);

}  // namespace tf
