#include "win_test_support.h"

#include <algorithm>
#include <cwchar>

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

ProcessResult RunProgram(const std::wstring& program, const std::wstring& tail, DWORD timeoutMs, bool captureOutput,
                         const std::wstring& workingDir) {
  ProcessResult r;
  std::wstring cmd = L"\"" + program + L"\"";
  if (!tail.empty()) cmd += L" " + tail;
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (captureOutput) {
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  BOOL ok = CreateProcessW(program.c_str(), buf.data(), nullptr, nullptr, captureOutput, 0, nullptr,
                           workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi);
  if (writeEnd) CloseHandle(writeEnd);
  if (!ok) {
    if (readEnd) CloseHandle(readEnd);
    return r;
  }
  r.started = true;
  if (captureOutput) {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0) r.output.append(chunk, got);
    CloseHandle(readEnd);
  }
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    r.timedOut = true;
    TerminateProcess(pi.hProcess, 999);
    WaitForSingleObject(pi.hProcess, 10000);
  }
  GetExitCodeProcess(pi.hProcess, &r.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return r;
}

std::string Utf8(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
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
