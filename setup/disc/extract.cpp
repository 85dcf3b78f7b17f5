// Copying the selected game files out of the image.
#include <memory>

#include "common/text.h"
#include "disc/xdvdfs_image.h"

namespace tf {

namespace {

constexpr uint32_t kCopyBufferSize = 0x100000;

constexpr char kMsgCannotWrite[] =
    "Could not write to the install folder. Try running the installer as administrator, or choose a different "
    "location.";
constexpr char kMsgDamaged[] = "The disc image could not be read -- it may be damaged or incomplete.";
constexpr char kMsgCancelled[] = "Installation cancelled.";

bool Selected(const XdvdfsEntry* e) { return e != nullptr && !e->isDirectory; }

}  // namespace

bool XdvdfsImage::ExtractFiles(const std::vector<const XdvdfsEntry*>& selection, const std::wstring& destinationRoot,
                               CopyProgressCallback progress, void* context, std::string& errorText) {
  uint64_t total = 0;
  for (const XdvdfsEntry* e : selection)
    if (Selected(e)) total += e->size;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kCopyBufferSize]());
  uint64_t done = 0;

  for (const XdvdfsEntry* e : selection) {
    if (!Selected(e)) continue;
    // Names were checked when the tables were read; this guards entries made elsewhere.
    if (!IsSafeRelativePath(e->path)) {
      errorText = kMsgCorruptTable;
      return false;
    }
    std::wstring outPath = destinationRoot + L"\\" + Widen(e->path);
    CreateParentFolders(outPath);
    // A read-only file is never replaced. Windows refuses it in CreateFileW;
    // Wine run as root would not, so the attribute is checked first.
    DWORD attributes = GetFileAttributesW(outPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      errorText = kMsgCannotWrite;
      return false;
    }
    UniqueFile out(CreateFileW(outPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!out) {
      errorText = kMsgCannotWrite;
      return false;
    }
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(e->offset);
    if (!file_ || !SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN)) {
      errorText = kMsgCannotRead;
      return false;
    }
    uint64_t remaining = e->size;
    while (remaining > 0) {
      DWORD want = static_cast<DWORD>(remaining < kCopyBufferSize ? remaining : kCopyBufferSize);
      DWORD got = 0, wrote = 0;
      bool ok = ReadFile(file_.Get(), buffer.get(), want, &got, nullptr) && got > 0 &&
                WriteFile(out.Get(), buffer.get(), got, &wrote, nullptr) && wrote == got;
      if (!ok) {
        out.Reset();
        DeleteFileW(outPath.c_str());
        errorText = kMsgDamaged;
        return false;
      }
      done += got;
      remaining -= got;
      if (progress && !progress(context, e->path.c_str(), done, total)) {
        out.Reset();
        DeleteFileW(outPath.c_str());
        errorText = kMsgCancelled;
        return false;
      }
    }
  }
  return true;
}

}  // namespace tf
