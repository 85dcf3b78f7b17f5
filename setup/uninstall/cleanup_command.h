#pragma once
// The clean-up after the uninstaller has exited: its own file and the emptied
// install folder, which it cannot remove while it runs from there. A command
// processor left behind, in a console without a window, waits about two
// seconds, then deletes them.
//
// No path of the install is ever parsed by the command processor (Wine's
// expands a "%" even inside a variable's value): it works in the install
// folder's parent and is given only names relative to it, and only names it
// reads literally. (Not in the folder itself: the console's host would keep
// working there, and no folder can be removed while a process works in it.)
// The programs it runs are named by their full paths in the system folder:
// it runs as administrator in a folder that any user may be able to write
// to, and would look for a program named only by its name there first.
#include <string>
#include <string_view>
#include <vector>

namespace tf {

// Whether cmd.exe reads the name literally between double quotes: none of
// % ! ^ & | < > " and no control characters ("(" and ")" are literal there,
// in a parenthesised block too).
bool IsLiteralName(std::wstring_view name);

// The command line, with S the system folder, run in the folder's parent:
//   "S\cmd.exe" /d /s /c ""S\PING.EXE" 127.0.0.1 -n 3 >nul, then the removal:
//   & del /f /q "<folderName>\<fileName>"  when fileName is not empty (without
//                                          "<folderName>\" when that is empty);
//   & rmdir "<folderName>"                 when folderName is not empty;
// then, five times, while the folder (or with no folder, the file) still
// exists: another pause and the removal again; and the closing quote. With
// /s the command processor takes off just that outer pair of quotes. Empty
// when the system folder's path is not one it reads literally.
std::wstring CleanupCommandLine(const std::wstring& systemFolder, const std::wstring& fileName,
                                const std::wstring& folderName);

// `environment` (a block as GetEnvironmentStringsW gives it: "name=value"
// strings, each ended by a NUL, then one more NUL) with the variable `name`
// set to `value`: an entry of that name, case aside, is replaced; otherwise
// the entry goes where the names' order puts it.
std::vector<wchar_t> EnvironmentWith(const wchar_t* environment, const std::wstring& name, const std::wstring& value);

// Starts the system folder's cmd.exe with the command line in `workingFolder`,
// in a console without a window that the programs it runs share, with
// NoDefaultCurrentDirectoryInExePath set, and lets go of it. False when it did
// not start, or when the folder is a network path (cmd.exe would run elsewhere).
bool StartCleanupCommand(const std::wstring& commandLine, const std::wstring& workingFolder);

// The last step of an uninstall of `uninstallFolder` by the program at
// `programPath`. The process first makes the system folder its current folder
// (no folder can be removed while a process works in it); then:
// - the program is not in that folder (the folder came from the registry):
//   its file is not part of the install and stays; the folder is removed now
//   if it is empty;
// - names that cmd.exe reads literally: the command, in the folder's parent,
//   deletes the program's file and removes the folder (if empty by then);
// - otherwise the program first moves its file out, beside the folder, under
//   a name of its own ("tf_uninstall_<process id>.tmp"), removes the folder
//   (if empty) and leaves the command to delete that file.
void CleanUpAfterExit(const std::wstring& uninstallFolder, const std::wstring& programPath);

}  // namespace tf
