#pragma once
// The Win32 file layer: whole reads and writes in chunks of at most 1 MiB,
// the refusal to replace a read-only file, one rule for partial files, and
// the one way a finished file replaces another.
//
// Partial files: the layer never leaves a file it could not finish unless the
// caller asks it to keep one (OnFailure::KeepPartial). Callers keep a partial
// file only where the failure is reported and the next run rewrites the file
// anyway: the runtime payload, the arena containers' ".tmp" files. Everything
// else (extracted game files, key files, the Android package) goes. Callers
// that write in their own steps end such a file with CloseUnfinished.
//
// Files that must be whole or absent (the arena containers, key files, the
// Android package and its README) are written under TemporaryPathFor(target)
// and moved over the target with MoveOver.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/file_outcome.h"
#include "common/win32_handle.h"

namespace tf {

inline constexpr DWORD kFileChunkBytes = 0x100000;  // 1 MiB

// The calls the layer reads and writes with: the system's, unless the caller
// passes its own (tests shorten or fail one).
struct FileCalls {
  BOOL(WINAPI* read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::ReadFile;
  BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::WriteFile;
};

// Reads exactly `length` bytes, in chunks; a failed read, or the end of the
// file before all bytes arrived, fails.
[[nodiscard]] bool ReadFully(HANDLE file, void* buffer, uint64_t length, const FileCalls& calls = {});
// Writes every byte, in chunks; a failed or short write fails.
[[nodiscard]] bool WriteAll(HANDLE file, const void* data, uint64_t length, const FileCalls& calls = {});

// Where a chunked write takes its bytes from when they are not one block in
// memory: the `size` bytes (at most one chunk) at offset `at`, valid until the
// next call; null fails the write.
class ChunkSource {
 public:
  virtual const uint8_t* Chunk(uint64_t at, DWORD size) = 0;

 protected:
  ~ChunkSource() = default;
};
[[nodiscard]] bool WriteAll(HANDLE file, uint64_t length, ChunkSource& source, const FileCalls& calls = {});

// Moves the file pointer to `position` from the start of the file.
[[nodiscard]] bool SeekTo(HANDLE file, uint64_t position);

// Whether `path` names an existing read-only file. Windows refuses to replace
// one; Wine run as root would not, so writers ask first.
bool IsReadOnlyFile(const std::wstring& path);

// CreateFileW for writing (no sharing, CREATE_ALWAYS); invalid when the file
// is read-only, is a link (never written through), or cannot be created.
UniqueFile CreateForWriting(const std::wstring& path);

// Closes a file that could not be finished and deletes it unless onFailure keeps it.
void CloseUnfinished(UniqueFile& file, const std::wstring& path, OnFailure onFailure);

// Creates or replaces `path` with exactly these bytes.
FileWrite WriteWholeFile(const std::wstring& path, std::span<const uint8_t> bytes, OnFailure onFailure,
                         const FileCalls& calls = {});
// The same with `length` bytes taken chunk by chunk from `source`.
FileWrite WriteWholeFile(const std::wstring& path, uint64_t length, ChunkSource& source, OnFailure onFailure,
                         const FileCalls& calls = {});

// Reads a whole file of at most maxBytes bytes into `out` (emptied on failure).
// TooLarge also stands for a size that cannot be read or allocated.
FileRead ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, uint64_t maxBytes,
                       const FileCalls& calls = {});

// Moves a finished file over `to` in one step, replacing an existing `to` and
// written through to the disk. A read-only `to` is refused. False with GetLastError().
bool MoveOver(const std::wstring& from, const std::wstring& to);

// Writes `bytes` under TemporaryPathFor(target), flushes it and moves it over
// `target`. On failure the temporary file is gone, `target` is as it was and
// `error` holds the failing call's code.
bool ReplaceWholeFile(const std::wstring& target, std::span<const uint8_t> bytes, uint32_t& error);

// Creates a folder and every missing parent, trying each prefix from the
// shortest (a drive root is passed over). False when a prefix neither could be
// created nor exists.
bool CreateFolderChain(const std::wstring& path);

// The path made absolute (GetFullPathNameW: "." and ".." resolved, the
// current folder put in front of a relative one); "" when it has no such form.
std::wstring FullPathName(const std::wstring& path);

// A folder's full path (FullPathName) without trailing backslashes, a drive's
// top folder aside ("C:\\"); "" when it has no full form.
std::wstring FullFolderPath(const std::wstring& folder);

}  // namespace tf
