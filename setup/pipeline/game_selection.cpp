#include "pipeline/game_selection.h"

#include <string_view>

namespace tf {

namespace {

constexpr std::string_view kExecutable = "default.xbe";
constexpr std::string_view kFolders[] = {"GFX", "AUDMUSIC", "AUDSoundFX"};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsGamePath(std::string_view path) {
  if (EqualsNoCase(path, kExecutable)) return true;
  for (std::string_view folder : kFolders) {
    if (path.size() > folder.size() && path[folder.size()] == '\\' &&
        EqualsNoCase(path.substr(0, folder.size()), folder))
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
