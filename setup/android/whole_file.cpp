#include "android/whole_file.h"

#include "common/win32_file.h"

namespace tf::android {

std::wstring TemporaryPathFor(const std::wstring& target) { return target + kTemporarySuffix; }

bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& target) {
  if (IsReadOnlyFile(target)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool ReplaceWholeFile(const std::wstring& target, std::span<const uint8_t> bytes, uint32_t& error) {
  const std::wstring temporary = TemporaryPathFor(target);
  UniqueFile file = CreateForWriting(temporary);
  if (!file) {
    error = GetLastError();
    return false;
  }
  if (!WriteAll(file.Get(), bytes.data(), bytes.size()) || !FlushFileBuffers(file.Get())) {
    error = GetLastError();
    CloseUnfinished(file, temporary, OnFailure::DeletePartial);
    return false;
  }
  file.Reset();
  if (!MoveIntoPlace(temporary, target)) {
    error = GetLastError();
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace tf::android
