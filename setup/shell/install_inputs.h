#pragma once
// What the install dialog checks before it starts an install, and its default folder.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tf {

// The longest path a field may hold: what fits a MAX_PATH buffer with its NUL.
// Longer text is refused rather than cut, so nothing is installed from or to
// a path the user did not type.
inline constexpr size_t kMaxFieldChars = 259;

inline constexpr wchar_t kChooseDiscMessage[] = L"Choose your disc image first.";
inline constexpr wchar_t kChooseFolderMessage[] =
    L"Choose a full path to install to, for example C:\\Program Files (x86)\\Tarnfell.";

enum class InputVerdict { Start, ChooseDisc, ChooseFolder };

// The disc must be named and exist (`exists` is asked only for a path that
// fits); the folder must fit and begin with a drive ("C:\\"; "C:Games" would
// depend on that drive's current folder).
InputVerdict CheckInstallInputs(std::wstring_view discPath, std::wstring_view installFolder,
                                const std::function<bool(const std::wstring&)>& exists);

// The first non-empty Program Files folder + "\Tarnfell" ("\Tarnfell" when neither resolves).
std::wstring DefaultInstallFolder(std::wstring_view programFilesX86, std::wstring_view programFiles);

}  // namespace tf
