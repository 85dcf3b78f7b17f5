#pragma once
// This program's own file, mapped read-only and read in windows of one chunk.
// Bytes of the running image (its resources) are written from there, so that
// the image's own pages are never touched and never join the working set
// (Wine keeps touched image pages resident whatever the program says).
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf {

class ProgramFile {
 public:
  // False when the file cannot be opened or mapped, or does not hold the
  // layout of the running image.
  [[nodiscard]] bool Open();
  // The file offset of the image bytes [data, data + size), when the file
  // holds them as they are.
  [[nodiscard]] bool OffsetOf(const void* data, uint32_t size, uint64_t& offset) const;
  // The `size` bytes at `offset`, valid until the next call, which unmaps them
  // first; null when they cannot be mapped.
  const uint8_t* View(uint64_t offset, DWORD size);

 private:
  UniqueFile file_;
  UniqueKernelHandle mapping_;
  UniqueMappedView view_;
  uint64_t fileSize_ = 0;
  DWORD granularity_ = 0;
};

// The chunks of image bytes [data, data + size): from the program's file when
// it holds them (a window per chunk), else from the image itself.
class ImageBytesChunks : public ChunkSource {
 public:
  ImageBytesChunks(const void* data, uint32_t size, ProgramFile* file);
  const uint8_t* Chunk(uint64_t at, DWORD size) override;

 private:
  const uint8_t* data_;
  ProgramFile* file_;  // null: the image
  uint64_t offset_ = 0;
};

}  // namespace tf
