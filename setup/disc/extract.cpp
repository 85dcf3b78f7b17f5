// Copying the selected game files out of the image.
#include <algorithm>
#include <memory>

#include "common/folder_walk.h"
#include "common/install_messages.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "disc/xdvdfs_image.h"

namespace tf {

namespace {

constexpr char kMsgDamaged[] = "The disc image could not be read -- it may be damaged or incomplete.";
constexpr char kMsgCancelled[] = "Installation cancelled.";

bool Selected(const XdvdfsEntry* e) { return e != nullptr && !e->isDirectory; }

// The entry's output path below the root, its folder made (once for a run of
// entries in one folder) and checked to lie inside. A folder that cannot be
// made shows up as the file that cannot be created.
bool PrepareOutputPath(const ConfinedFolder& root, const std::string& entryPath, std::wstring& madeFolder,
                       std::wstring& outPath, std::string& errorText) {
  const std::wstring relative = Widen(entryPath, CP_ACP);  // a disc name
  outPath = root.Root() + L"\\" + relative;
  const std::wstring folder(ParentFolderOf(relative));
  if (folder.empty() || SameNameNoCase(folder, madeFolder)) return true;
  if (root.CreateFolders(folder) == ConfinedFolder::Made::LeadsOut) {
    errorText = kMsgInstallFolderLink;
    return false;
  }
  madeFolder = folder;
  return true;
}

}  // namespace

bool XdvdfsImage::ExtractFiles(const std::vector<const XdvdfsEntry*>& selection, const std::wstring& destinationRoot,
                               CopyProgressCallback progress, void* context, std::string& errorText) {
  uint64_t total = 0;
  for (const XdvdfsEntry* e : selection)
    if (Selected(e)) total += e->size;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kFileChunkBytes]());
  uint64_t done = 0;
  // Every folder written into is checked to lie inside the destination,
  // which is made with the first file.
  ConfinedFolder root;
  std::wstring madeFolder;  // the last folder made and checked

  for (const XdvdfsEntry* e : selection) {
    if (!Selected(e)) continue;
    // Names were checked when the tables were read; this guards entries made elsewhere.
    if (!IsSafeRelativePath(e->path)) {
      errorText = kMsgCorruptTable;
      return false;
    }
    if (root.Root().empty() && !(CreateFolderChain(destinationRoot) && root.Open(destinationRoot))) {
      errorText = kMsgCannotWriteInstallFolder;
      return false;
    }
    std::wstring outPath;
    if (!PrepareOutputPath(root, e->path, madeFolder, outPath, errorText)) return false;
    UniqueFile out = CreateForWriting(outPath);
    if (!out) {
      errorText = kMsgCannotWriteInstallFolder;
      return false;
    }
    if (!file_) {
      errorText = kMsgCannotRead;
      return false;
    }
    // A file that is not complete is never left behind.
    for (uint64_t at = 0; at < e->size;) {
      const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(e->size - at, kFileChunkBytes));
      if (!ReadAt(e->offset + at, buffer.get(), chunk) || !WriteAll(out.Get(), buffer.get(), chunk, calls_)) {
        CloseUnfinished(out, outPath);
        errorText = kMsgDamaged;
        return false;
      }
      at += chunk;
      done += chunk;
      if (progress && !progress(context, e->path.c_str(), done, total)) {
        CloseUnfinished(out, outPath);
        errorText = kMsgCancelled;
        return false;
      }
    }
  }
  return true;
}

}  // namespace tf
