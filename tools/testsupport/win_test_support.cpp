#include "win_test_support.h"

#include <algorithm>
#include <cwchar>
#include <thread>

#include "pe_resources.h"

namespace tf::test {

namespace {
std::wstring TempRoot() {
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, buf);
  std::wstring p(buf, n);
  while (!p.empty() && p.back() == L'\\') p.pop_back();
  return p;
}
}  // namespace

TempDir::TempDir() {
  static LONG counter = 0;
  for (;;) {
    wchar_t name[96];
    swprintf(name, 96, L"\\tf_test_%lu_%lu_%ld", GetCurrentProcessId(), GetTickCount(),
             InterlockedIncrement(&counter));
    path_ = TempRoot() + name;
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> FolderNames(const std::wstring& path, Listing listing) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (listing == Listing::FilesOnly && (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) names.push_back(fd.cFileName);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& out) {
  out.clear();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(h, &size) != 0;
  if (ok) {
    out.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (ok && done < out.size()) {
      DWORD got = 0;
      DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 24));
      ok = ReadFile(h, out.data() + done, want, &got, nullptr) && got > 0;
      done += got;
    }
  }
  CloseHandle(h);
  return ok;
}

std::string ReadText(const std::wstring& path) {
  std::vector<uint8_t> b;
  if (!ReadFileBytes(path, b)) return {};
  return std::string(b.begin(), b.end());
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  bool ok = size == 0 || (WriteFile(h, data, static_cast<DWORD>(size), &wrote, nullptr) && wrote == size);
  CloseHandle(h);
  return ok;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return 0;
  return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::wstring FromUnixPath(const std::string& unixPath) {
  std::wstring w = L"Z:";
  for (char c : unixPath) w.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return w;
}

std::wstring DistFile(const std::wstring& name) {
#ifdef TF_DIST_DIR
  return FromUnixPath(TF_DIST_DIR) + L"\\" + name;
#else
  return name;
#endif
}

namespace {

struct Started {
  HANDLE process = nullptr;
  DWORD processId = 0;
  HANDLE output = INVALID_HANDLE_VALUE;  // the child's stdout and stderr, deleted on close
};

Started Start(const ProgramRun& run, ProcessResult& r) {
  Started s;
  std::wstring cmd = L"\"" + run.program + L"\"";
  if (!run.tail.empty()) cmd += L" " + run.tail;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (run.captureOutput) {
    // A file, not a pipe: nobody has to drain it while the child runs.
    wchar_t dir[MAX_PATH + 1], name[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"tfo", 0, name);
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    s.output = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (s.output == INVALID_HANDLE_VALUE) return s;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = s.output;
    si.hStdError = s.output;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  if (CreateProcessW(run.program.c_str(), buf.data(), nullptr, nullptr, run.captureOutput, 0, nullptr,
                     run.workingDir.empty() ? nullptr : run.workingDir.c_str(), &si, &pi)) {
    r.started = true;
    s.process = pi.hProcess;
    s.processId = pi.dwProcessId;
    CloseHandle(pi.hThread);
  }
  return s;
}

void Finish(Started& s, DWORD waitMs, ProcessResult& r) {
  if (s.process) {
    if (WaitForSingleObject(s.process, waitMs) != WAIT_OBJECT_0) {
      r.timedOut = true;
      TerminateProcess(s.process, 999);
      WaitForSingleObject(s.process, 10000);
    }
    GetExitCodeProcess(s.process, &r.exitCode);
    CloseHandle(s.process);
  }
  if (s.output != INVALID_HANDLE_VALUE) {
    SetFilePointer(s.output, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(s.output, chunk, sizeof(chunk), &got, nullptr) && got > 0) r.output.append(chunk, got);
    CloseHandle(s.output);
  }
}

}  // namespace

std::vector<ProcessResult> RunPrograms(const std::vector<ProgramRun>& runs, DWORD timeoutMs,
                                       const WhileRunning& whileRunning) {
  std::vector<ProcessResult> results(runs.size());
  std::vector<Started> started(runs.size());
  {
    // Wine's CreateProcess returns only once the child has started, which
    // takes minutes for an emulated 32-bit program: each starts on a thread.
    std::vector<std::thread> starters;
    for (size_t i = 0; i < runs.size(); ++i)
      starters.emplace_back([&, i] {
        started[i] = Start(runs[i], results[i]);
        if (whileRunning && started[i].process) whileRunning(i, started[i].processId);
      });
    for (std::thread& t : starters) t.join();
  }
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (size_t i = 0; i < runs.size(); ++i) {
    ULONGLONG now = GetTickCount64();
    Finish(started[i], now < deadline ? static_cast<DWORD>(deadline - now) : 0, results[i]);
  }
  return results;
}

ProcessResult RunProgram(const std::wstring& program, const std::wstring& tail, DWORD timeoutMs, bool captureOutput,
                         const std::wstring& workingDir) {
  return RunPrograms({{program, tail, workingDir, captureOutput}}, timeoutMs)[0];
}

namespace {
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
  return TRUE;
}

bool CarriesRcdata(const std::wstring& path, WORD id) {
  HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return true;  // unknown counts as still there
  bool found = FindResourceW(image, MAKEINTRESOURCEW(id), RT_RCDATA) != nullptr;
  FreeLibrary(image);
  return found;
}

}  // namespace

bool CopyWithoutResource(const std::wstring& original, const std::wstring& copy, WORD id) {
  if (!CopyFileW(original.c_str(), copy.c_str(), FALSE)) return false;
  std::vector<WORD> languages;
  if (HMODULE image = LoadLibraryExW(original.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    EnumResourceLanguagesW(image, RT_RCDATA, MAKEINTRESOURCEW(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(image);
  }
  if (languages.empty()) return false;
  if (HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE)) {
    bool ok = true;
    for (WORD language : languages)
      ok = UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(id), language, nullptr, 0) && ok;
    if (EndUpdateResourceW(update, !ok) && ok && !CarriesRcdata(copy, id)) return true;
  }
  // Wine cannot rewrite an image whose resource section is not its last one
  // (ours is followed by relocations): cut the entry out of a fresh copy instead.
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(original, bytes) || !CutResourceEntry(bytes, 10, id)) return false;
  return WriteFileBytes(copy, bytes.data(), bytes.size()) && !CarriesRcdata(copy, id);
}

std::string Utf8(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Utf16(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Ansi(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace tf::test
