#pragma once
// The Win32 file layer: whole reads and writes in chunks of at most 1 MiB,
// the refusal to replace a read-only file, and the one way a file is written
// whole.
//
// Whole files. Every file the program writes as a whole -- the runtime
// payload and "tarnfell.ini", the arena containers, the uninstaller, the
// signing key files, the Android package and its README -- replaces its
// target by one rule, here and nowhere else (WholeFileReplacement, and
// ReplaceWholeFile over it for bytes at hand):
//   1. the bytes are written to TemporaryPathFor(target), beside the target;
//   2. that file is flushed to the disk and closed;
//   3. MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
//      puts it over the target in one step.
// A failure at any step, or a replacement given up before its commit, removes
// the temporary file: the target is then as it was, and a power cut leaves
// either the old file or the new one, never an empty or partial one.
//
// Files written in place in steps of their own (the extracted game files) are
// ended with CloseUnfinished when they cannot be finished: nothing partial stays.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/file_outcome.h"
#include "common/win32_handle.h"

namespace tf {

inline constexpr DWORD kFileChunkBytes = 0x100000;  // 1 MiB

// The calls the layer reads, writes, flushes and moves with: the system's,
// unless the caller passes its own (tests shorten or fail one).
struct FileCalls {
  BOOL(WINAPI* read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::ReadFile;
  BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::WriteFile;
  BOOL(WINAPI* flush)(HANDLE) = ::FlushFileBuffers;
  BOOL(WINAPI* move)(LPCWSTR, LPCWSTR, DWORD) = ::MoveFileExW;
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

// CreateFileW for writing (no sharing, CREATE_ALWAYS; `access` may add
// GENERIC_READ); invalid when the file is read-only, is a link (never written
// through), or cannot be created.
UniqueFile CreateForWriting(const std::wstring& path, DWORD access = GENERIC_WRITE);

// Closes a file that could not be finished and deletes it.
void CloseUnfinished(UniqueFile& file, const std::wstring& path);

// One whole file under the rule above, for a writer that writes in steps of
// its own (the Android package, written while it is hashed): Begin gives the
// temporary file, Commit flushes it and moves it over the target. Destroyed
// without a commit that succeeded, it closes and removes the temporary file.
class WholeFileReplacement {
 public:
  // The flush and the move go through `calls`.
  explicit WholeFileReplacement(std::wstring target, const FileCalls& calls = {});
  ~WholeFileReplacement();
  WholeFileReplacement(const WholeFileReplacement&) = delete;
  WholeFileReplacement& operator=(const WholeFileReplacement&) = delete;

  // Creates the temporary file (as CreateForWriting does); its handle, which
  // stays this object's, or an invalid one (see Error()).
  [[nodiscard]] HANDLE Begin(DWORD access = GENERIC_WRITE);
  // The temporary file as a copy of `source` (CopyFileW; its attributes
  // cleared, so that the copy is never read-only), opened for the flush.
  [[nodiscard]] HANDLE BeginCopyOf(const std::wstring& source);
  // Flushes and closes the temporary file, then moves it over the target
  // (MoveOver). WriteFailed when the flush fails, NotReplaced when the move
  // does (a read-only target, a folder in its place, a file held open).
  [[nodiscard]] FileWrite Commit();

  // The code of the call that failed in Begin, BeginCopyOf or Commit.
  uint32_t Error() const { return error_; }

 private:
  HANDLE Failed();

  std::wstring target_, temporary_;
  FileCalls calls_;
  UniqueFile file_;
  bool begun_ = false, committed_ = false;
  uint32_t error_ = 0;
};

// Replaces `target` whole (the rule above) with exactly `length` bytes taken
// chunk by chunk from `source`, or with `bytes`. A read-only target is
// NotReplaced before anything is written. On failure `error` holds the
// failing call's code.
FileWrite ReplaceWholeFile(const std::wstring& target, uint64_t length, ChunkSource& source, uint32_t& error,
                           const FileCalls& calls = {});
FileWrite ReplaceWholeFile(const std::wstring& target, std::span<const uint8_t> bytes, uint32_t& error,
                           const FileCalls& calls = {});

// Reads a whole file of at most maxBytes bytes into `out` (emptied on failure).
// TooLarge also stands for a size that cannot be read or allocated.
FileRead ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, uint64_t maxBytes,
                       const FileCalls& calls = {});

// Moves a finished file over `to` in one step, replacing an existing `to` and
// written through to the disk. A read-only `to` is refused. False with GetLastError().
bool MoveOver(const std::wstring& from, const std::wstring& to, const FileCalls& calls = {});

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

// Whether the file at `path` lies directly in `folder`, both taken in their
// full forms and compared as the file system compares names.
bool IsDirectlyIn(const std::wstring& path, const std::wstring& folder);

}  // namespace tf
