// Test stand-in for tf_hybrid.dll: RunGame echoes what it got and returns the
// number after "ret:" in the mode (0 otherwise), so tests can see the loader's
// arguments and its handling of any result.
#include <windows.h>

#include "loader_text.h"

using tf::loader::Line;

namespace {
void Print(const Line& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.Text(), static_cast<DWORD>(line.Size()), &written, nullptr);
}

int ParseResult(const char* mode) {
  if (mode[0] != 'r' || mode[1] != 'e' || mode[2] != 't' || mode[3] != ':') return 0;
  const char* p = mode + 4;
  bool negative = *p == '-';
  if (negative) ++p;
  int value = 0;
  while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
  return negative ? -value : value;
}
}  // namespace

extern "C" int __cdecl RunGame(const char* xbePath, const char* mode) {
  char hold[8] = {};
  if (!GetEnvironmentVariableA("TF_HOLD_PLACEHOLDER", hold, sizeof(hold))) hold[0] = '?';
  char buffer[1024];
  Line line(buffer, sizeof(buffer));
  Print(line.Str("[probe] xbe=").Str(xbePath).Str("\n[probe] mode=").Str(mode).Str("\n[probe] hold=").Str(hold).Str("\n"));
  return ParseResult(mode);
}

extern "C" BOOL WINAPI ProbeEntry(HINSTANCE, DWORD, void*) { return TRUE; }
