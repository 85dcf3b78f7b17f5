#pragma once
// The clean-up after the uninstaller has exited: its own file and the emptied
// install folder, which it cannot remove while it runs from there. A detached
// command processor waits about two seconds, then deletes them.
//
// No path is ever parsed by the command processor (Wine's expands a "%" even
// inside a variable's value): it runs in a working folder and is given only
// names relative to it, and only names it reads literally.
#include <string>
#include <string_view>

namespace tf {

// Whether cmd.exe reads the name literally between double quotes: none of
// % ! ^ & | < > " and no control characters ("(" and ")" are literal there,
// in a parenthesised block too).
bool IsLiteralName(std::wstring_view name);

// The command line: "<commandProcessor>" /d /c ping 127.0.0.1 -n 3 >nul, then
//   & del /f /q "<fileName>"        when fileName is not empty;
//   & cd .. & rmdir "<folderName>"  when folderName is not empty (the working
//                                   folder itself, left first);
// then, five times, while the folder (or with no folder, the file) still
// exists: another pause, the deletion and the removal again.
std::wstring CleanupCommandLine(const std::wstring& commandProcessor, const std::wstring& fileName,
                                const std::wstring& folderName);

// Starts the system folder's cmd.exe with the command line in `workingFolder`,
// detached and without a window, and lets go of it. False when it did not
// start, or when the folder is a network path (cmd.exe would run elsewhere).
bool StartCleanupCommand(const std::wstring& commandLine, const std::wstring& workingFolder);

// The last step of an uninstall of `uninstallFolder` by the program at
// `programPath`. The process first makes the system folder its current folder
// (no folder can be removed while a process works in it); then:
// - the program is not in that folder (the folder came from the registry):
//   its file is not part of the install and stays; the folder is removed now
//   if it is empty;
// - names that cmd.exe reads literally: the command deletes the program's
//   file, leaves the folder and removes it (if empty by then);
// - otherwise the program first moves its file out, beside the folder, under
//   a name of its own ("tf_uninstall_<process id>.tmp"), removes the folder
//   (if empty) and leaves the command to delete that file.
void CleanUpAfterExit(const std::wstring& uninstallFolder, const std::wstring& programPath);

}  // namespace tf
