// Stand-in for one of the compiler runtime libraries that the game runtime is
// linked against: a valid, empty DLL whose version block says what it is.
#include <windows.h>

extern "C" BOOL WINAPI StandInEntry(HINSTANCE, DWORD, void*) { return TRUE; }
