// Timing helper for tools/bench-extract.sh, run under Wine:
//   extract_bench extract IMAGE DEST    ExtractFiles of the game selection
//   extract_bench copy SRC DST          CopyFileW of one file
//   extract_bench install SETUP IMAGE DEST   tf_setup /silent, with its peak working set
// Each prints "<what> <bytes> <seconds>" (and the working set for install).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "disc/xdvdfs_image.h"
#include "pipeline/game_selection.h"

namespace {

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

int Extract(const wchar_t* image, const wchar_t* dest) {
  tf::XdvdfsImage disc;
  std::string error;
  if (!disc.Open(image, error)) {
    std::fprintf(stderr, "open: %s\n", error.c_str());
    return 1;
  }
  tf::GameSelection sel = tf::SelectGameFiles(disc.Entries());
  double start = Now();
  if (!disc.ExtractFiles(sel.entries, dest, nullptr, nullptr, error)) {
    std::fprintf(stderr, "extract: %s\n", error.c_str());
    return 1;
  }
  double seconds = Now() - start;
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
  std::printf("extract %llu %.3f peak_ws_bytes %lu\n", static_cast<unsigned long long>(sel.bytes), seconds,
              static_cast<unsigned long>(pmc.PeakWorkingSetSize));
  return 0;
}

int Copy(const wchar_t* src, const wchar_t* dst) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(src, GetFileExInfoStandard, &d)) return 1;
  unsigned long long size = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  double start = Now();
  if (!CopyFileW(src, dst, FALSE)) {
    std::fprintf(stderr, "copy failed: %lu\n", GetLastError());
    return 1;
  }
  std::printf("copy %llu %.3f\n", size, Now() - start);
  return 0;
}

int Install(const wchar_t* setup, const wchar_t* image, const wchar_t* dest) {
  std::wstring cmd = std::wstring(L"\"") + setup + L"\" /silent \"" + image + L"\" \"" + dest + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  double start = Now();
  if (!CreateProcessW(setup, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  // Sample the working set while it runs as well, in case an exited process reports nothing.
  SIZE_T peak = 0;
  while (WaitForSingleObject(pi.hProcess, 200) == WAIT_TIMEOUT) {
    PROCESS_MEMORY_COUNTERS pmc{};
    if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc)) && pmc.PeakWorkingSetSize > peak)
      peak = pmc.PeakWorkingSetSize;
  }
  PROCESS_MEMORY_COUNTERS pmc{};
  if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc)) && pmc.PeakWorkingSetSize > peak) peak = pmc.PeakWorkingSetSize;
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("install exit %lu %.3f peak_ws_bytes %lu\n", code, Now() - start, static_cast<unsigned long>(peak));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring what = argc > 1 ? argv[1] : L"";
  if (what == L"extract" && argc == 4) return Extract(argv[2], argv[3]);
  if (what == L"copy" && argc == 4) return Copy(argv[2], argv[3]);
  if (what == L"install" && argc == 5) return Install(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "usage: extract_bench extract IMAGE DEST | copy SRC DST | install SETUP IMAGE DEST\n");
  return 2;
}
