#pragma once
// The arena file layer over the standard library, for native tests and the benchmark.
#include <filesystem>
#include <string>

#include "xmf/arena_patch.h"

namespace tf::xmf::testing {

// A backslash-joined path of the arena step as a native path.
std::filesystem::path NativePath(const std::wstring& path);
const ArenaFileOps& StdArenaFiles();

}  // namespace tf::xmf::testing
