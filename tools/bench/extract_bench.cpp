// Timing helper for tools/bench-extract.sh, run under Wine:
//   extract_bench extract IMAGE DEST    ExtractFiles of the game selection
//   extract_bench layout IMAGE DEST     the same files' folders and empty files
//                                       only: the per-file part of an extraction
//   extract_bench copy SRC DST          CopyFileW of one file
//   extract_bench install SETUP IMAGE DEST   tf_setup /silent, with its peak working set
// Each prints "<what> <bytes> <seconds>"; extract, layout and copy add "cpu"
// and this process's CPU seconds, extract and layout the file count and the
// peak working set; install prints the exit code, the seconds and tf_setup's
// peak working set.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

// User and kernel time of a process, in seconds.
double CpuSeconds(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  auto s = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return s(kernel) + s(user);
}

unsigned long PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS pmc{};
  return GetProcessMemoryInfo(process, &pmc, sizeof(pmc)) ? static_cast<unsigned long>(pmc.PeakWorkingSetSize) : 0;
}

int Extract(const wchar_t* image, const wchar_t* dest, bool layoutOnly) {
  tf::XdvdfsImage disc;
  std::string error;
  if (!disc.Open(image, error)) {
    std::fprintf(stderr, "open: %s\n", error.c_str());
    return 1;
  }
  tf::GameSelection sel = tf::SelectGameFiles(disc.Entries());
  // The layout run: the same entries with no bytes, so only folders, creation and closing are left.
  std::vector<tf::XdvdfsEntry> empty;
  if (layoutOnly) {
    for (const tf::XdvdfsEntry* e : sel.entries) {
      empty.push_back(*e);
      empty.back().size = 0;
    }
    for (size_t i = 0; i < empty.size(); ++i) sel.entries[i] = &empty[i];
  }
  const double cpu = CpuSeconds(GetCurrentProcess()), start = Now();
  if (!disc.ExtractFiles(sel.entries, dest, nullptr, nullptr, error)) {
    std::fprintf(stderr, "extract: %s\n", error.c_str());
    return 1;
  }
  const double seconds = Now() - start;
  std::printf("%s %llu %.3f cpu %.3f files %zu peak_ws_bytes %lu\n", layoutOnly ? "layout" : "extract",
              static_cast<unsigned long long>(layoutOnly ? 0 : sel.bytes), seconds,
              CpuSeconds(GetCurrentProcess()) - cpu, sel.entries.size(), PeakWorkingSet(GetCurrentProcess()));
  return 0;
}

int Copy(const wchar_t* src, const wchar_t* dst) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(src, GetFileExInfoStandard, &d)) return 1;
  unsigned long long size = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  const double cpu = CpuSeconds(GetCurrentProcess()), start = Now();
  if (!CopyFileW(src, dst, FALSE)) {
    std::fprintf(stderr, "copy failed: %lu\n", GetLastError());
    return 1;
  }
  const double seconds = Now() - start;
  std::printf("copy %llu %.3f cpu %.3f\n", size, seconds, CpuSeconds(GetCurrentProcess()) - cpu);
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
  while (WaitForSingleObject(pi.hProcess, 200) == WAIT_TIMEOUT) peak = std::max<SIZE_T>(peak, PeakWorkingSet(pi.hProcess));
  peak = std::max<SIZE_T>(peak, PeakWorkingSet(pi.hProcess));
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("install %lu %.3f peak_ws_bytes %lu\n", code, Now() - start, static_cast<unsigned long>(peak));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring what = argc > 1 ? argv[1] : L"";
  if ((what == L"extract" || what == L"layout") && argc == 4) return Extract(argv[2], argv[3], what == L"layout");
  if (what == L"copy" && argc == 4) return Copy(argv[2], argv[3]);
  if (what == L"install" && argc == 5) return Install(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "usage: extract_bench extract|layout IMAGE DEST | copy SRC DST | install SETUP IMAGE DEST\n");
  return 2;
}
