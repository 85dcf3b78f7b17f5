// Timing helper for tools/bench-extract.sh, run under Wine:
//   extract_bench extract IMAGE DEST    ExtractFiles of the game selection
//   extract_bench layout IMAGE DEST     the same files' folders and empty files
//                                       only: the per-file part of an extraction
//   extract_bench copy SRC DST          CopyFileW of one file
//   extract_bench install SETUP IMAGE DEST   tf_setup /silent, timed step by step
//   extract_bench desktop               holds Wine's desktop until ended
// Each prints "<what> <bytes> <seconds>"; extract, layout and copy add "cpu"
// and this process's CPU seconds, extract and layout the file count and the
// peak working set; install prints the exit code, the seconds and tf_setup's
// peak working set, then one line "steps" of "name=seconds" pairs.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/win32_handle.h"
#include "disc/xdvdfs_image.h"
#include "install_steps.h"
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

// Stamps the log's lines as they arrive: the log is opened before the program
// starts, sharing with its writer, and read on from where it last ended.
class LogWatch {
 public:
  explicit LogWatch(const std::wstring& path)
      : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  bool Valid() const { return file_.Valid(); }
  // Reads what is new; each complete line gets the time `now`.
  void Poll(double now) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file_.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) clock_.Read({buffer, got}, now);
  }
  std::vector<double> Steps(double start, double end) const { return clock_.Seconds(start, end); }

 private:
  tf::UniqueFile file_;
  tf::bench::InstallStepClock clock_;
};

// How often the log is read: steps are timed to about this, and the watching
// costs the machine little.
constexpr DWORD kPollMs = 4;

int Install(const wchar_t* setup, const wchar_t* image, const wchar_t* dest) {
  std::wstring cmd = std::wstring(L"\"") + setup + L"\" /silent \"" + image + L"\" \"" + dest + L"\"";
  LogWatch log(std::wstring(setup) + L".log");
  if (!log.Valid()) return 1;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  const double start = Now();
  if (!CreateProcessW(setup, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  // Sample the working set while it runs as well, in case an exited process reports nothing.
  SIZE_T peak = 0;
  double sampled = start;
  while (WaitForSingleObject(pi.hProcess, kPollMs) == WAIT_TIMEOUT) {
    const double now = Now();
    log.Poll(now);
    if (now - sampled >= 0.2) peak = std::max<SIZE_T>(peak, PeakWorkingSet(pi.hProcess)), sampled = now;
  }
  const double end = Now();
  log.Poll(end);
  peak = std::max<SIZE_T>(peak, PeakWorkingSet(pi.hProcess));
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("install %lu %.3f peak_ws_bytes %lu\n", code, end - start, static_cast<unsigned long>(peak));
  std::printf("steps");
  const std::vector<double> steps = log.Steps(start, end);
  for (size_t i = 0; i < steps.size(); ++i) std::printf(" %s=%.3f", tf::bench::kInstallSteps[i], steps[i]);
  std::printf("\n");
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0 ? 0 : 1;
}

// Wine starts its desktop process for the first program that uses user32 and
// ends it a few seconds after the last one; Windows always has its desktop.
// Held for a whole run, so that no timed install pays for starting it.
int HoldDesktop() {
  if (GetDesktopWindow() == nullptr) return 1;
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring what = argc > 1 ? argv[1] : L"";
  if ((what == L"extract" || what == L"layout") && argc == 4) return Extract(argv[2], argv[3], what == L"layout");
  if (what == L"copy" && argc == 4) return Copy(argv[2], argv[3]);
  if (what == L"install" && argc == 5) return Install(argv[2], argv[3], argv[4]);
  if (what == L"desktop" && argc == 2) return HoldDesktop();
  std::fprintf(stderr,
               "usage: extract_bench extract|layout IMAGE DEST | copy SRC DST | install SETUP IMAGE DEST | desktop\n");
  return 2;
}
