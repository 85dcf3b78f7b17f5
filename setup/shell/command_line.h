#pragma once
// The command line of tf_setup: switches, the program's file name and the mode.
#include <string>
#include <string_view>
#include <vector>

namespace tf {

enum class SetupMode { Interactive, Silent, Uninstall };

SetupMode SelectMode(std::wstring_view programPath, std::wstring_view commandTail);

struct SilentArguments {
  std::wstring discImagePath;
  std::wstring installFolder;
  bool Complete() const { return !discImagePath.empty() && !installFolder.empty(); }
};

// Finds the first argument (1 to count - 2) equal to "/silent", ignoring case,
// and takes the two arguments after it.
SilentArguments FindSilentArguments(const std::vector<std::wstring>& args);

}  // namespace tf
