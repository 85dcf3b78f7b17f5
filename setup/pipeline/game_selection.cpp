#include "pipeline/game_selection.h"

#include <string_view>

#include "common/ascii.h"

namespace tf {

namespace {

bool IsGamePath(std::string_view path) {
  if (EqualsNoCaseAscii(kGameExecutableName, path)) return true;
  for (std::wstring_view folder : kGameFolders) {
    if (path.size() > folder.size() && path[folder.size()] == '\\' &&
        EqualsNoCaseAscii(folder, path.substr(0, folder.size())))
      return true;
  }
  return false;
}

}  // namespace

GameSelection SelectGameFiles(const std::vector<XdvdfsEntry>& entries) {
  GameSelection s;
  for (const XdvdfsEntry& e : entries) {
    if (e.isDirectory || !IsGamePath(e.path)) continue;
    s.entries.push_back(&e);
    s.bytes += e.size;
  }
  return s;
}

bool IsRetailImage(uint32_t fileCount, uint64_t totalFileBytes) {
  return fileCount == kRetailFileCount && totalFileBytes == kRetailTotalBytes;
}

}  // namespace tf
