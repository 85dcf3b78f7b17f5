#include "disc/xdvdfs_image.h"

#include "common/win32_file.h"

namespace tf {

namespace {

class FileImageReader : public ImageReader {
 public:
  explicit FileImageReader(XdvdfsImage& image) : image_(image) {}
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length) override {
    return image_.ReadAt(offset, buffer, length);
  }

 private:
  XdvdfsImage& image_;
};

}  // namespace

bool XdvdfsImage::Open(const std::wstring& imagePath, std::string& errorText) {
  Close();
  file_.Reset(CreateFileW(imagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) {
    errorText = kMsgCannotOpen;
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file_.Get(), &size)) {
    errorText = kMsgCannotRead;
    Close();
    return false;
  }
  fileSize_ = static_cast<uint64_t>(size.QuadPart);
  FileImageReader reader(*this);
  switch (FindAndScanVolume(reader, fileSize_, volume_, entries_, errorText)) {
    case VolumeSearch::Found:
      return true;
    case VolumeSearch::NotFound:
      errorText = kMsgNoVolume;
      break;
    case VolumeSearch::Failed:
      break;
  }
  Close();
  return false;
}

void XdvdfsImage::Close() {
  file_.Reset();
  fileSize_ = 0;
  volume_ = XdvdfsVolume();
  entries_.clear();
  entries_.shrink_to_fit();
}

bool XdvdfsImage::ReadAt(uint64_t offset, void* buffer, uint32_t length) {
  if (!file_) return false;
  if (offset > fileSize_ || length > fileSize_ - offset) return false;
  if (!SeekTo(file_.Get(), offset)) return false;
  return ReadFully(file_.Get(), buffer, length, calls_);
}

uint32_t XdvdfsImage::FileCount() const {
  uint32_t n = 0;
  for (const XdvdfsEntry& e : entries_)
    if (!e.isDirectory) ++n;
  return n;
}

uint64_t XdvdfsImage::TotalFileBytes() const {
  uint64_t total = 0;
  for (const XdvdfsEntry& e : entries_)
    if (!e.isDirectory) total += e.size;
  return total;
}

}  // namespace tf
