// Stand-in for the game runtime tf_hybrid.dll: instead of running the game,
// RunGame checks what the loader promises it and reports on "[rt] " lines.
// Returns 0 when every promise holds, else the code of the first broken one.
#include <windows.h>

#include "loader_text.h"

using tf::loader::Line;

namespace {

enum Broken : int {
  kHoldNotReserved = 10,      // 0x04000000..0x10000000 not one reserved, uncommitted range
  kReserveMissing = 11,       // no .00xbe section at 0x15000..0x1715000 in the loader's image
  kReserveNotWritable = 12,   // some page of the range is not committed read/write
  kReserveNotZero = 13,       // some byte of the range is not zero
  kHoldVariableMissing = 14,  // TF_HOLD_PLACEHOLDER was not "0" or "1" when this library loaded
  kXbeUnreadable = 15,        // the path does not name a readable file
  kXbeNotXbe = 16,            // the file does not begin with "XBEH"
  kArgumentMissing = 17,      // a null path or mode
};

constexpr uintptr_t kHoldBase = 0x04000000;
constexpr uintptr_t kHoldEnd = 0x10000000;
constexpr uintptr_t kReserveBase = 0x15000;
constexpr uintptr_t kReserveEnd = 0x1715000;

char g_holdVariable[8];  // TF_HOLD_PLACEHOLDER as seen while this library loaded
bool g_holdVariableSet;

void Print(const Line& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.Text(), static_cast<DWORD>(line.Size()), &written, nullptr);
}

void Report(const char* what, const char* detail = "") {
  char buffer[600];
  Line line(buffer, sizeof(buffer));
  Print(line.Str("[rt] ").Str(what).Str(detail).Str("\n"));
}

bool HoldReserved() {
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(reinterpret_cast<void*>(kHoldBase), &info, sizeof(info))) return false;
  if (reinterpret_cast<uintptr_t>(info.AllocationBase) != kHoldBase) return false;
  for (uintptr_t at = kHoldBase; at < kHoldEnd;) {
    if (!VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof(info))) return false;
    if (info.State != MEM_RESERVE) return false;
    at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

bool SectionIsAt(const char* name, uintptr_t begin, uintptr_t end) {
  auto base = reinterpret_cast<const unsigned char*>(GetModuleHandleA(nullptr));
  if (!base) return false;
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    bool same = true;
    for (unsigned k = 0; k < IMAGE_SIZEOF_SHORT_NAME && same; ++k) {
      same = section->Name[k] == static_cast<unsigned char>(name[k]);
      if (!name[k]) break;
    }
    if (!same) continue;
    uintptr_t first = reinterpret_cast<uintptr_t>(base) + section->VirtualAddress;
    return first == begin && first + section->Misc.VirtualSize == end;
  }
  return false;
}

bool RangeWritable(uintptr_t begin, uintptr_t end) {
  const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  for (uintptr_t at = begin; at < end;) {
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof(info))) return false;
    if (info.State != MEM_COMMIT || !(info.Protect & writable) || (info.Protect & PAGE_GUARD)) return false;
    at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  // The protection says so; a write at each end (value kept) proves it.
  volatile unsigned char* first = reinterpret_cast<unsigned char*>(begin);
  volatile unsigned char* last = reinterpret_cast<unsigned char*>(end - 1);
  unsigned char a = *first, b = *last;
  *first = 0x5A;
  *last = 0xA5;
  bool stuck = *first == 0x5A && *last == 0xA5;
  *first = a;
  *last = b;
  return stuck;
}

bool RangeZero(uintptr_t begin, uintptr_t end) {
  for (auto p = reinterpret_cast<const volatile uint32_t*>(begin); reinterpret_cast<uintptr_t>(p) < end; ++p)
    if (*p) return false;
  return true;
}

// 0 when the file opens and begins with "XBEH", else the broken promise.
int CheckXbe(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kXbeUnreadable;
  char magic[4] = {};
  DWORD got = 0;
  BOOL read = ReadFile(file, magic, sizeof(magic), &got, nullptr);
  CloseHandle(file);
  if (!read) return kXbeUnreadable;
  return got == 4 && magic[0] == 'X' && magic[1] == 'B' && magic[2] == 'E' && magic[3] == 'H' ? 0 : kXbeNotXbe;
}

}  // namespace

extern "C" int __cdecl RunGame(const char* xbePath, const char* mode) {
  int first = 0;
  auto broken = [&first](int code) {
    if (!first) first = code;
  };

  if (HoldReserved()) {
    Report("low hold 0x04000000..0x10000000 reserved");
  } else {
    Report("low hold 0x04000000..0x10000000 NOT reserved");
    broken(kHoldNotReserved);
  }

  if (!SectionIsAt(".00xbe", kReserveBase, kReserveEnd)) {
    Report(".00xbe missing from 0x00015000..0x01715000");
    broken(kReserveMissing);
  } else if (!RangeWritable(kReserveBase, kReserveEnd)) {
    Report(".00xbe 0x00015000..0x01715000 NOT writable");
    broken(kReserveNotWritable);
  } else if (!RangeZero(kReserveBase, kReserveEnd)) {
    Report(".00xbe 0x00015000..0x01715000 NOT zero-filled");
    broken(kReserveNotZero);
  } else {
    Report(".00xbe 0x00015000..0x01715000 present, zero-filled, writable");
  }

  bool variableValid = g_holdVariableSet && (g_holdVariable[0] == '0' || g_holdVariable[0] == '1') && !g_holdVariable[1];
  if (variableValid) {
    Report("TF_HOLD_PLACEHOLDER=", g_holdVariable);
  } else {
    Report("TF_HOLD_PLACEHOLDER not set to 0 or 1 before load");
    broken(kHoldVariableMissing);
  }

  if (!xbePath || !mode) {
    Report("RunGame got a null argument");
    broken(kArgumentMissing);
  } else {
    int xbe = CheckXbe(xbePath);
    Report(xbe == 0 ? "xbe begins with XBEH: " : xbe == kXbeUnreadable ? "xbe cannot be read: " : "xbe is no XBE: ",
           xbePath);
    if (xbe) broken(xbe);
    Report("mode=", mode);
  }

  char buffer[64];
  Line verdict(buffer, sizeof(buffer));
  if (first)
    verdict.Str("[rt] contract broken, code ").Signed(first).Str("\n");
  else
    verdict.Str("[rt] contract holds\n");
  Print(verdict);
  return first;
}

extern "C" BOOL WINAPI StandInEntry(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    DWORD n = GetEnvironmentVariableA("TF_HOLD_PLACEHOLDER", g_holdVariable, sizeof(g_holdVariable));
    g_holdVariableSet = n > 0 && n < sizeof(g_holdVariable);
    if (!g_holdVariableSet) g_holdVariable[0] = '\0';
  }
  return TRUE;
}
