#pragma once
// DLLs from the system folder only. Both programs run as administrator, often
// from a folder that any user can write to (a Downloads folder; the install
// folder for uninstall.exe): a DLL looked for there by name could be anyone's.
#include <windows.h>

#include <cstdint>
#include <string>

namespace tf {

// From here on, DLLs loaded by name (by this program or by the system
// components it uses) come from the system folder alone:
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), or, where the
// system lacks it, SetDllDirectoryW(L"") (no current folder). Call it first.
void NarrowDllSearch();

// The system folder's path (GetSystemDirectoryW); "" when it cannot be told.
std::wstring SystemFolder();

// The DLL `name` from the system folder, never from anywhere else; null with
// the error code in `error`.
HMODULE LoadSystemLibrary(const wchar_t* name, uint32_t& error);

}  // namespace tf
