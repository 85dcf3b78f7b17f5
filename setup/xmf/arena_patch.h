#pragma once
// The RAVU RIZO transaction over an arena file, and the walk over all arenas,
// written against a small file layer so that the same steps run on any platform.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/file_outcome.h"
#include "common/game_edition.h"

namespace tf::xmf {

struct MeatRushResult {
  uint32_t patched = 0;
  uint32_t alreadyPresent = 0;
  uint32_t failed = 0;
  std::string message;  // first failure, prefixed with the arena folder
};

// Paths are backslash-joined wide strings.
struct ArenaFileOps {
  bool (*exists)(const std::wstring& path);
  bool (*readWholeFile)(const std::wstring& path, std::vector<uint8_t>& out, std::string& errorText);
  // Replaces the file whole with these bytes: written under its temporary
  // name, flushed and moved over it in one step (common/win32_file.h); any
  // failure leaves the file as it was and no temporary file.
  FileWrite (*replaceWholeFile)(const std::wstring& path, std::span<const uint8_t> bytes);
};

enum class PatchOutcome { Patched, AlreadyPresent, Failed };

// The transaction on one arena file: Patched when the target was replaced by
// the patched file; AlreadyPresent when it holds an object of the new name
// (and allowDuplicate is false), unchanged; Failed with errorText set, the
// target unchanged.
PatchOutcome PatchArena(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
                        const std::wstring& targetPath, const char* newName, bool allowDuplicate,
                        std::string& errorText);
// The same as a bool: true when patched; false with errorText left empty when
// the name was already present.
bool PatchArenaFileWith(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
                        const std::wstring& targetPath, const char* newName, bool allowDuplicate,
                        std::string& errorText);
MeatRushResult PrepareMeatRushWith(const ArenaFileOps& files, const std::wstring& installFolder);

}  // namespace tf::xmf
