#pragma once
// The RAVU RIZO asset step on Windows files: whole-file reads, the ".tmp" write and the atomic replace.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "xmf/arena_patch.h"

namespace tf::xmf {

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, std::string& errorText);

bool PatchArenaFile(const std::wstring& sourcePath, const char* sourceName, const std::wstring& targetPath,
                    const char* newName, bool allowDuplicate, std::string& errorText);
MeatRushResult PrepareMeatRush(const std::wstring& installFolder);

// The Win32 file layer used by the two calls above.
const ArenaFileOps& Win32ArenaFiles();

// Writes one chunk; true only when all of it was written.
using ChunkWriter = bool (*)(HANDLE file, const uint8_t* data, DWORD size);
bool WriteChunk(HANDLE file, const uint8_t* data, DWORD size);
TempWrite WriteTempFile(const std::wstring& path, std::span<const uint8_t> bytes, ChunkWriter write = WriteChunk);

}  // namespace tf::xmf
