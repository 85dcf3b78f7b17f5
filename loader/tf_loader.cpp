// tf_loader: occupies the fixed address ranges the game runtime expects, then
// loads tf_hybrid.dll from its own folder and hands it default.xbe and a mode.
// Linked without the C runtime (see CMakeLists.txt and tf_loader.ld), so the
// image stays small enough to end below the .00xbe section at 0x15000.
#include <windows.h>

#include "loader_text.h"

using tf::loader::kPathChars;
using tf::loader::Line;

// The zero-filled range the runtime maps the game's image into. The linker
// script places this section at 0x15000; its size is part of the contract.
constexpr size_t kReserveBytes = 0x1700000;
extern "C" unsigned char tf_reserve[kReserveBytes];
__attribute__((section(".00xbe"), used, aligned(4096))) unsigned char tf_reserve[kReserveBytes] = {};

namespace {

constexpr uintptr_t kHoldBase = 0x04000000;
constexpr size_t kHoldBytes = 0x0C000000;
constexpr DWORD kMemReservePlaceholder = 0x40000;

const char kFixedXbePath[] = "D:\\Projects\\Tarnfell (U)\\extracted\\default.xbe";

using VirtualAlloc2Fn = PVOID(WINAPI*)(HANDLE, PVOID, SIZE_T, ULONG, ULONG, void*, ULONG);
using RunGameFn = int(__cdecl*)(const char*, const char*);

HANDLE g_out;

// Standard output is written line by line with no buffering of our own.
void Print(const Line& line) {
  DWORD written = 0;
  if (line.Size()) WriteFile(g_out, line.Text(), static_cast<DWORD>(line.Size()), &written, nullptr);
}

enum class Hold { Placeholder, Plain, Failed };

Hold ReserveLowHold() {
  void* base = reinterpret_cast<void*>(kHoldBase);
  if (HMODULE kernelBase = GetModuleHandleA("kernelbase.dll")) {
    auto alloc2 = reinterpret_cast<VirtualAlloc2Fn>(reinterpret_cast<void*>(GetProcAddress(kernelBase, "VirtualAlloc2")));
    if (alloc2 && alloc2(GetCurrentProcess(), base, kHoldBytes, MEM_RESERVE | kMemReservePlaceholder,
                         PAGE_NOACCESS, nullptr, 0))
      return Hold::Placeholder;
  }
  if (VirtualAlloc(base, kHoldBytes, MEM_RESERVE, PAGE_NOACCESS)) return Hold::Plain;
  return Hold::Failed;
}

// The runtime by its full path; the DLLs it imports from its own folder and
// the system folder only, never from the current folder or PATH. Systems
// without the search flags refuse them as an invalid parameter: there the
// plain load, whose search starts in the same folder.
HMODULE LoadRuntime(const char* dllPath) {
  HMODULE runtime = LoadLibraryExA(dllPath, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (runtime == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) runtime = LoadLibraryA(dllPath);
  return runtime;
}

// The loader's lines are formatted one at a time in one buffer.
struct LineBuffer {
  char* text;
  size_t capacity;
  Line Start() const { return Line(text, capacity); }
};

void PrintReserve(const LineBuffer& lines) {
  Line reserveLine = lines.Start();
  reserveLine.Str("[ldr] module=")
      .Pointer(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)))
      .Str(" reserve=")
      .Pointer(reinterpret_cast<uintptr_t>(tf_reserve))
      .Str("..")
      .Pointer(reinterpret_cast<uintptr_t>(tf_reserve) + kReserveBytes)
      .Str("\n");
  Print(reserveLine);
}

// The runtime library and the game's executable beside the loader. `error` is
// set when the library must not be loaded: a module path that does not fit, or
// a library path that would have to be cut, could name some other file.
struct LoaderPaths {
  char dll[kPathChars];
  char xbe[kPathChars];
  DWORD error = 0;
};

void FindPaths(LoaderPaths& paths) {
  char selfPath[kPathChars] = {};
  DWORD selfLength = GetModuleFileNameA(nullptr, selfPath, kPathChars);
  if (selfLength == 0)
    paths.error = GetLastError();
  else if (selfLength >= kPathChars)
    paths.error = ERROR_FILENAME_EXCED_RANGE;
  size_t folderLength = tf::loader::FolderLength(selfPath);

  if (!tf::loader::JoinPath(paths.dll, selfPath, folderLength, "tf_hybrid.dll") && !paths.error)
    paths.error = ERROR_FILENAME_EXCED_RANGE;
  bool xbeWhole = tf::loader::JoinPath(paths.xbe, selfPath, folderLength, "default.xbe");
  if (paths.error || !xbeWhole || GetFileAttributesA(paths.xbe) == INVALID_FILE_ATTRIBUTES)
    tf::loader::JoinPath(paths.xbe, kFixedXbePath, sizeof(kFixedXbePath) - 1, "");
}

// The first argument, or "m4" without one.
void TakeMode(const char* commandLine, char* mode) {
  if (!tf::loader::FirstArgument(commandLine, mode)) {
    mode[0] = 'm';
    mode[1] = '4';
    mode[2] = '\0';
  }
}

// Reserves the low hold before the runtime is loaded, tells the runtime how
// (TF_HOLD_PLACEHOLDER) and reports it; a failed reservation does not stop the loader.
void HoldLowRange(const LineBuffer& lines) {
  Hold hold = ReserveLowHold();
  SetEnvironmentVariableA("TF_HOLD_PLACEHOLDER", hold == Hold::Placeholder ? "1" : "0");
  Line holdLine = lines.Start();
  holdLine.Str("[ldr] low hold 0x04000000..0x10000000 ")
      .Str(hold == Hold::Placeholder ? "reserved (placeholder)" : hold == Hold::Plain ? "reserved" : "FAILED")
      .Str("\n");
  Print(holdLine);
}

// Loads the runtime and hands it the game; the process's exit code.
int HandOver(const LoaderPaths& paths, const char* mode, const LineBuffer& lines) {
  HMODULE runtime = paths.error ? nullptr : LoadRuntime(paths.dll);
  if (!runtime) {
    DWORD error = paths.error ? paths.error : GetLastError();
    Line failLine = lines.Start();
    failLine.Str("[ldr] LoadLibrary(").Str(paths.dll).Str(") failed ").Unsigned(error).Str("\n");
    Print(failLine);
    return 1;
  }
  auto runGame = reinterpret_cast<RunGameFn>(reinterpret_cast<void*>(GetProcAddress(runtime, "RunGame")));
  if (!runGame) {
    Line failLine = lines.Start();
    Print(failLine.Str("[ldr] GetProcAddress(RunGame) failed\n"));
    return 1;
  }

  int result = runGame(paths.xbe, mode);
  Line resultLine = lines.Start();
  Print(resultLine.Str("[ldr] RunGame returned ").Signed(result).Str("\n"));
  return result;
}

int Run() {
  g_out = GetStdHandle(STD_OUTPUT_HANDLE);
  const char* commandLine = GetCommandLineA();
  size_t commandLength = tf::loader::Length(commandLine);

  // One line holds at most two paths and the mode, which is no longer than the command line.
  HANDLE heap = GetProcessHeap();
  size_t lineCapacity = commandLength + 3 * kPathChars + 128;
  const LineBuffer lines{static_cast<char*>(HeapAlloc(heap, 0, lineCapacity)), lineCapacity};
  char* mode = static_cast<char*>(HeapAlloc(heap, 0, commandLength + 1));
  if (!lines.text || !mode) return 1;

  PrintReserve(lines);
  LoaderPaths paths;
  FindPaths(paths);
  TakeMode(commandLine, mode);
  Line pathLines = lines.Start();
  pathLines.Str("[ldr] xbe=").Str(paths.xbe).Str("\n[ldr] dll=").Str(paths.dll).Str(" mode=").Str(mode).Str("\n");
  Print(pathLines);

  HoldLowRange(lines);
  return HandOver(paths, mode, lines);
}

}  // namespace

extern "C" void LoaderEntry() { ExitProcess(static_cast<UINT>(Run())); }

// The compiler may emit calls to these for array initialisation and copies.
extern "C" void* memset(void* dst, int value, size_t n) {
  auto* d = static_cast<volatile unsigned char*>(dst);
  while (n--) *d++ = static_cast<unsigned char>(value);
  return dst;
}
extern "C" void* memcpy(void* dst, const void* src, size_t n) {
  auto* d = static_cast<volatile unsigned char*>(dst);
  const auto* s = static_cast<const unsigned char*>(src);
  while (n--) *d++ = *s++;
  return dst;
}
