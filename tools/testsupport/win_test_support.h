#pragma once
// Helpers for tests that run under Wine: temporary folders, files and child programs.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tf::test {

// A fresh folder below the temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void RemoveTree(const std::wstring& path);
// The names in a folder, without "." and "..", sorted; empty when it cannot be listed.
enum class Listing { All, FilesOnly };
std::vector<std::wstring> FolderNames(const std::wstring& path, Listing listing = Listing::All);
bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& out);
// A file's bytes as a string; empty when it cannot be read.
std::string ReadText(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);
bool FileExists(const std::wstring& path);
uint64_t FileSize(const std::wstring& path);

// A Unix path from the build (TF_DIST_DIR, TF_SOURCE_DIR) as a Windows path through drive Z:.
std::wstring FromUnixPath(const std::string& unixPath);
std::wstring DistFile(const std::wstring& name);

struct ProcessResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  std::string output;  // standard output and standard error, when captured
};
// Runs a program with the given command-line tail and waits for it.
ProcessResult RunProgram(const std::wstring& program, const std::wstring& tail, DWORD timeoutMs = 300000,
                         bool captureOutput = false, const std::wstring& workingDir = L"");

struct ProgramRun {
  std::wstring program, tail, workingDir;
  bool captureOutput = false;
};
// Starts every program at once (each Wine start is slow), each from a thread
// of its own, and waits for all of them; results in the same order.
// `whileRunning`, when given, is called on each program's starting thread once
// it runs (index, process id): tests drive the program's windows there.
using WhileRunning = std::function<void(size_t index, DWORD processId)>;
std::vector<ProcessResult> RunPrograms(const std::vector<ProgramRun>& runs, DWORD timeoutMs = 300000,
                                       const WhileRunning& whileRunning = nullptr);

// Copies a program and removes its RCDATA resource `id` in the copy with the
// resource-update functions, or with CutResourceEntry (pe_resources.h) where those leave it in
// place (Wine); false unless the copy no longer carries it.
bool CopyWithoutResource(const std::wstring& original, const std::wstring& copy, WORD id);

std::string Utf8(const std::wstring& s);
std::wstring Utf16(const std::string& utf8);
std::string Ansi(const std::wstring& s);

}  // namespace tf::test
