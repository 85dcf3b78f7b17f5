#include "pipeline/program_file.h"

#include <algorithm>
#include <span>
#include <string>

#include "common/pe_image.h"
#include "common/running_program.h"

namespace tf {

namespace {

// The running image's headers; the loader maps at least their first page.
constexpr size_t kHeaderBytes = 0x1000;

const uint8_t* ImageBase() { return reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr)); }

}  // namespace

bool ProgramFile::Open() {
  const std::wstring path = RunningProgramPath();
  if (path.empty()) return false;
  file_.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file_ || !GetFileSizeEx(file_.Get(), &size) || size.QuadPart <= 0) return false;
  fileSize_ = static_cast<uint64_t>(size.QuadPart);
  mapping_.Reset(CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_) return false;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  granularity_ = info.dwAllocationGranularity;
  const DWORD headerBytes = static_cast<DWORD>(std::min<uint64_t>(fileSize_, kHeaderBytes));
  const uint8_t* fileHeaders = View(0, headerBytes);
  const bool same = fileHeaders && SameSections(std::span(fileHeaders, headerBytes), std::span(ImageBase(), kHeaderBytes));
  view_.Reset();
  if (!same) mapping_.Reset();
  return same;
}

bool ProgramFile::OffsetOf(const void* data, uint32_t size, uint64_t& offset) const {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const uint8_t* base = ImageBase();
  if (!mapping_ || bytes < base || static_cast<uint64_t>(bytes - base) > 0xFFFFFFFFu) return false;
  uint64_t at = 0;
  if (!FileOffsetOfRva(std::span(base, kHeaderBytes), static_cast<uint32_t>(bytes - base), size, at) ||
      at > fileSize_ || size > fileSize_ - at)
    return false;
  offset = at;
  return true;
}

const uint8_t* ProgramFile::View(uint64_t offset, DWORD size) {
  view_.Reset();
  if (!mapping_ || size == 0 || offset > fileSize_ || size > fileSize_ - offset) return nullptr;
  const uint64_t start = offset - offset % granularity_;
  const SIZE_T length = static_cast<SIZE_T>(offset - start) + size;
  view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                            static_cast<DWORD>(start), length));
  if (!view_) return nullptr;
  return static_cast<const uint8_t*>(view_.Get()) + (offset - start);
}

ImageBytesChunks::ImageBytesChunks(const void* data, uint32_t size, ProgramFile* file)
    : data_(static_cast<const uint8_t*>(data)), file_(file) {
  if (file_ && !file_->OffsetOf(data, size, offset_)) file_ = nullptr;
}

const uint8_t* ImageBytesChunks::Chunk(uint64_t at, DWORD size) {
  if (file_) {
    if (const uint8_t* view = file_->View(offset_ + at, size)) return view;
  }
  return data_ + at;
}

}  // namespace tf
