#pragma once
// Which entries of the disc are the game's files.
#include <cstdint>
#include <string_view>
#include <vector>

#include "disc/xdvdfs_format.h"

namespace tf {

inline constexpr uint64_t kGameVolumeTimestamp = 0x01C38D5623C39530ull;
inline constexpr uint32_t kRetailFileCount = 454;
inline constexpr uint64_t kRetailTotalBytes = 231662584ull;
// The folders extracted with everything below them, beside "default.xbe" at the
// volume root (kGameExecutableName).
inline constexpr std::string_view kGameFolders[] = {"GFX", "AUDMUSIC", "AUDSoundFX"};

struct GameSelection {
  std::vector<const XdvdfsEntry*> entries;  // in list order
  uint64_t bytes = 0;
};

// default.xbe at the volume root, and every file below GFX, AUDMUSIC and
// AUDSoundFX (names compared without case).
GameSelection SelectGameFiles(const std::vector<XdvdfsEntry>& entries);

bool IsRetailImage(uint32_t fileCount, uint64_t totalFileBytes);

}  // namespace tf
