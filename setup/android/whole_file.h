#pragma once
// Files that are whole or absent: written under a temporary name beside their
// place, flushed, and moved over the old file in one step.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

namespace tf::android {

inline constexpr wchar_t kTemporarySuffix[] = L".tmp";

// `target` + ".tmp".
std::wstring TemporaryPathFor(const std::wstring& target);

// Moves a finished, flushed file over `target` (replacing it, written through
// to the disk). A read-only target is refused. False with GetLastError().
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& target);

// Writes `bytes` under TemporaryPathFor(target), flushes it and moves it over
// `target`. On failure the temporary file is gone, `target` is as it was and
// `error` holds the failing call's code.
bool ReplaceWholeFile(const std::wstring& target, std::span<const uint8_t> bytes, uint32_t& error);

}  // namespace tf::android
