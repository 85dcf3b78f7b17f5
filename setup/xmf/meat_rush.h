#pragma once
// The RAVU RIZO asset step on Windows files: whole-file reads and the
// replacement of a file whole, both through the Win32 file layer.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/win32_file.h"
#include "xmf/arena_patch.h"

namespace tf::xmf {

// The whole file, of at most 0x7FFFFFFF bytes, with the patcher's messages.
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, std::string& errorText);

bool PatchArenaFile(const std::wstring& sourcePath, const char* sourceName, const std::wstring& targetPath,
                    const char* newName, bool allowDuplicate, std::string& errorText);
MeatRushResult PrepareMeatRush(const std::wstring& installFolder);

// The file operations used by the two calls above.
const ArenaFileOps& Win32ArenaFiles();

}  // namespace tf::xmf
