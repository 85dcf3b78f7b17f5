#pragma once
// The shell's file-open dialog, for the disc image and as a folder picker.
#include <windows.h>

#include <string>

namespace tf {

// True with the picked file's path; false when the dialog cannot be shown or is dismissed.
bool PickDiscImage(HWND owner, std::wstring& path);
// True with the picked folder's path (a drive root keeps its backslash).
bool PickFolder(HWND owner, std::wstring& path);

}  // namespace tf
