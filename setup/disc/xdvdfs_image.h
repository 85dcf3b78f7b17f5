#pragma once
// An open Xbox disc image: its volume, its flat entry list, and the
// extraction of chosen files into a folder.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/win32_file.h"
#include "common/win32_handle.h"
#include "disc/xdvdfs_format.h"

namespace tf {

// Extraction progress: context, the entry's narrow path, bytes done, total.
// Returning false stops the copy.
using CopyProgressCallback = bool (*)(void* context, const char* path, uint64_t done, uint64_t total);

class XdvdfsImage {
 public:
  // Reads and extracts through the file layer with these calls.
  explicit XdvdfsImage(FileCalls calls = {}) : calls_(calls) {}
  ~XdvdfsImage() { Close(); }
  XdvdfsImage(const XdvdfsImage&) = delete;
  XdvdfsImage& operator=(const XdvdfsImage&) = delete;

  bool Open(const std::wstring& imagePath, std::string& errorText);
  void Close();
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length);

  const std::vector<XdvdfsEntry>& Entries() const { return entries_; }
  uint64_t VolumeTimestamp() const { return volume_.timestamp; }
  uint64_t VolumeBase() const { return volume_.base; }
  uint32_t FileCount() const;
  uint64_t TotalFileBytes() const;

  // Copies the selected files below destinationRoot, in chunks read through
  // ReadAt; empty references and folders are skipped. A partly written file
  // is deleted on failure (the partial-file rule of common/win32_file.h).
  bool ExtractFiles(const std::vector<const XdvdfsEntry*>& selection, const std::wstring& destinationRoot,
                    CopyProgressCallback progress, void* context, std::string& errorText);

 private:
  FileCalls calls_;
  UniqueFile file_;
  uint64_t fileSize_ = 0;
  XdvdfsVolume volume_;
  std::vector<XdvdfsEntry> entries_;
};

}  // namespace tf
