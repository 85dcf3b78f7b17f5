#pragma once
// Which entries of the disc are the game's files.
#include <cstdint>
#include <vector>

#include "common/game_edition.h"
#include "disc/xdvdfs_format.h"

namespace tf {

struct GameSelection {
  std::vector<const XdvdfsEntry*> entries;  // in list order
  uint64_t bytes = 0;
};

// The game executable at the volume root, and every file below the game
// folders (common/game_edition.h; names compared without case).
GameSelection SelectGameFiles(const std::vector<XdvdfsEntry>& entries);

bool IsRetailImage(uint32_t fileCount, uint64_t totalFileBytes);

}  // namespace tf
