#pragma once
// What the uninstaller checks before and after it removes an install folder's tree.
#include <string>
#include <vector>

namespace tf {

// The first file that the removal would delete and another program holds
// open (it cannot be opened for deletion without sharing); "" when there is
// none. `runningProgram` is passed over, and with `keepSaves` the "_SAVES"
// folders too.
std::wstring FirstFileInUse(const std::wstring& folder, bool keepSaves, const std::wstring& runningProgram);

// The first entry left in the tree that is none of: a name of `keepAtTop` at
// its top, a kept "_SAVES" folder (with `keepSaves`), a folder on the way to
// one. "" when nothing else is left or the folder is gone.
std::wstring FirstLeftover(const std::wstring& folder, bool keepSaves, const std::vector<std::wstring>& keepAtTop);

}  // namespace tf
