#pragma once
// Stand-ins for the ReadFile, WriteFile, FlushFileBuffers and MoveFileExW
// calls of the file layer, passed in as Calls(): they record the size of every
// read and write, can hand out reads in short pieces, fail one read, one write,
// the flushes or the moves, or let one write come up short. A new seam starts
// with no calls recorded and none failing.
#include <windows.h>

#include <vector>

#include "common/win32_file.h"

namespace tf::test {

class FileSeam {
 public:
  FileSeam() {
    Clear();
    readPiece = 0;
    failRead = failWrite = shortWrite = -1;
    failFlush = failMove = false;
  }
  FileSeam(const FileSeam&) = delete;
  FileSeam& operator=(const FileSeam&) = delete;

  static FileCalls Calls() { return {Read, Write, Flush, Move}; }

  // Forgets the calls so far (indexes count from the next call on).
  static void Clear() {
    calls.clear();
    reads.clear();
    writes.clear();
    writeData.clear();
  }

  static inline std::vector<DWORD> calls;   // bytes asked, reads and writes in call order
  static inline std::vector<DWORD> reads;   // bytes asked of the reads alone
  static inline std::vector<DWORD> writes;  // bytes asked of the writes alone
  static inline std::vector<const void*> writeData;  // where each write took its bytes from
  static inline DWORD readPiece = 0;        // a read delivers at most this many bytes; 0: all it is asked
  static inline int failRead = -1;          // index in reads of the read that fails
  static inline int failWrite = -1;         // index in writes of the write that fails (disk full)
  static inline int shortWrite = -1;        // index in writes of a write that writes only half its bytes
  static inline bool failFlush = false;     // every flush fails (the disk is gone)
  static inline bool failMove = false;      // every move fails (the target is held open)

 private:
  static bool Fails(const std::vector<DWORD>& kind, int failing) {
    if (static_cast<int>(kind.size()) - 1 != failing) return false;
    SetLastError(ERROR_DISK_FULL);
    return true;
  }
  static BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    calls.push_back(size);
    reads.push_back(size);
    if (Fails(reads, failRead)) {
      *got = 0;
      return FALSE;
    }
    return ::ReadFile(file, buffer, readPiece != 0 && size > readPiece ? readPiece : size, got, overlapped);
  }
  static BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD size, LPDWORD wrote, LPOVERLAPPED overlapped) {
    calls.push_back(size);
    writes.push_back(size);
    writeData.push_back(data);
    if (Fails(writes, failWrite)) {
      *wrote = 0;
      return FALSE;
    }
    if (static_cast<int>(writes.size()) - 1 == shortWrite) size /= 2;
    return ::WriteFile(file, data, size, wrote, overlapped);
  }
  static BOOL WINAPI Flush(HANDLE file) {
    if (!failFlush) return ::FlushFileBuffers(file);
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  static BOOL WINAPI Move(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (!failMove) return ::MoveFileExW(from, to, flags);
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
};

}  // namespace tf::test
