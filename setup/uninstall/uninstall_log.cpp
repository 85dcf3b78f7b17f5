#include "uninstall/uninstall_log.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "common/text.h"
#include "common/win32_handle.h"

namespace tf {

namespace {
constexpr wchar_t kLogName[] = L"tf_uninstall.log";
constexpr DWORD kLogNameLength = static_cast<DWORD>(std::size(kLogName) - 1);
}  // namespace

bool UninstallLogPath(wchar_t (&path)[MAX_PATH]) {
  DWORD length = GetTempPathW(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) return false;
  if (length + kLogNameLength >= MAX_PATH) return false;
  wmemcpy(path + length, kLogName, kLogNameLength + 1);
  return true;
}

void WriteUninstallLog(const wchar_t* format, ...) {
  wchar_t path[MAX_PATH] = {};
  if (!UninstallLogPath(path)) return;
  UniqueFile log(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  if (!log) return;

  // The runtime's formatter: -1 when the text does not fit in the count, the
  // count itself (without a terminator) when it fills it exactly.
  wchar_t line[kUninstallLogLineLimit + 1] = {};
  va_list args;
  va_start(args, format);
  int length = _vsnwprintf(line, kUninstallLogLineLimit, format, args);
  va_end(args);
  if (length <= 0) return;

  std::wstring text(line, static_cast<size_t>(length));
  text += L"\r\n";
  std::string bytes = Narrow(text, CP_UTF8);
  DWORD wrote = 0;
  WriteFile(log.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
}

}  // namespace tf
