#include "pipeline/folder_size.h"

#include <vector>

#include "common/folder_walk.h"

namespace tf {

uint64_t FolderSizeKiB(const std::wstring& folder) {
  // bytes[d]: what the folder being walked at depth d holds so far; a level
  // that is done adds its whole KiB to the level above.
  std::vector<uint64_t> bytes(1, 0);
  auto closeLevelsBelow = [&](size_t depth) {
    while (bytes.size() > depth) {
      const uint64_t done = bytes.back() / 1024 * 1024;
      bytes.pop_back();
      if (!bytes.empty()) bytes.back() += done;
    }
  };
  WalkOptions options;
  options.passOverUnlistable = true;
  WalkFolder(
      folder,
      [&](const WalkEntry& entry) {
        closeLevelsBelow(static_cast<size_t>(entry.depth));
        if (entry.isFolder) bytes.push_back(0);
        else if (!entry.isLink) bytes.back() += entry.size;
        return WalkAction::Continue;
      },
      options);
  closeLevelsBelow(1);  // a walk cut short by its caps counts what it saw
  return bytes[0] / 1024;
}

}  // namespace tf
