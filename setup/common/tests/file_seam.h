#pragma once
// A stand-in for the ReadFile and WriteFile calls of the file layer, for as
// long as it lives: it records the size of every call, can hand out reads in
// short pieces, fail one call or let one write come up short.
#include <windows.h>

#include <vector>

#include "common/win32_file.h"

namespace tf::test {

class FileSeam {
 public:
  FileSeam() {
    Clear();
    readPiece = 0;
    failCall = shortWrite = -1;
    detail::fileRead = Read;
    detail::fileWrite = Write;
  }
  ~FileSeam() {
    detail::fileRead = ::ReadFile;
    detail::fileWrite = ::WriteFile;
  }
  FileSeam(const FileSeam&) = delete;
  FileSeam& operator=(const FileSeam&) = delete;

  // Forgets the calls so far (indexes count from the next call on).
  static void Clear() {
    calls.clear();
    writes.clear();
    writeData.clear();
  }

  static inline std::vector<DWORD> calls;   // bytes asked, reads and writes in call order
  static inline std::vector<DWORD> writes;  // bytes asked of the writes alone
  static inline std::vector<const void*> writeData;  // where each write took its bytes from
  static inline DWORD readPiece = 0;        // a read delivers at most this many bytes; 0: all it is asked
  static inline int failCall = -1;          // index in calls of the call that fails (disk full)
  static inline int shortWrite = -1;        // index in writes of a write that writes only half its bytes

 private:
  static bool Fails() {
    if (static_cast<int>(calls.size()) - 1 != failCall) return false;
    SetLastError(ERROR_DISK_FULL);
    return true;
  }
  static BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    calls.push_back(size);
    if (Fails()) {
      *got = 0;
      return FALSE;
    }
    return ::ReadFile(file, buffer, readPiece != 0 && size > readPiece ? readPiece : size, got, overlapped);
  }
  static BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD size, LPDWORD wrote, LPOVERLAPPED overlapped) {
    calls.push_back(size);
    writes.push_back(size);
    writeData.push_back(data);
    if (Fails()) {
      *wrote = 0;
      return FALSE;
    }
    if (static_cast<int>(writes.size()) - 1 == shortWrite) size /= 2;
    return ::WriteFile(file, data, size, wrote, overlapped);
  }
};

}  // namespace tf::test
