#pragma once
// XDVDFS volume descriptor and directory tables: finding the volume and
// walking its tables into a flat list. No platform code: the image is read
// through ImageReader, so the walk runs over files and over memory alike.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tf {

struct XdvdfsEntry {
  std::string path;  // names from the root down, joined with one backslash
  uint64_t offset = 0;  // absolute offset in the image file
  uint32_t size = 0;    // file size, or the size of a folder's table
  bool isDirectory = false;
};

// Reads exactly `length` bytes at an absolute image offset, or fails.
class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual bool ReadAt(uint64_t offset, void* buffer, uint32_t length) = 0;
};

inline constexpr uint32_t kSectorSize = 2048;
inline constexpr uint64_t kDescriptorOffset = 0x10000;  // sector 32 of the volume
inline constexpr uint64_t kVolumeBases[] = {0, 0x18300000};
inline constexpr char kVolumeMagic[] = "MICROSOFT*XBOX*MEDIA";
inline constexpr size_t kVolumeMagicSize = 20;
inline constexpr uint32_t kMaxTableSize = 0x800000;
inline constexpr size_t kMaxEntries = 100000;
inline constexpr int kMaxDepth = 16;
// All tables of one volume together; a real disc reads a few MiB. Stops
// hostile tables whose folders point back at large tables from reading for hours.
inline constexpr uint64_t kMaxTotalTableBytes = 128ull << 20;

inline constexpr char kMsgCannotOpen[] = "The disc image could not be opened.";
inline constexpr char kMsgCannotRead[] = "The disc image could not be read.";
inline constexpr char kMsgNoVolume[] = "That file is not an Xbox disc image (no XDVDFS volume was found).";
inline constexpr char kMsgCorruptTable[] = "The disc image's directory table is corrupt.";
inline constexpr char kMsgTruncated[] = "The disc image is truncated or unreadable.";

struct XdvdfsVolume {
  uint64_t base = 0;
  uint64_t timestamp = 0;
  uint32_t rootSector = 0;
  uint32_t rootSize = 0;
};

// Checks both magics of a 2048-byte descriptor and takes its fields.
bool ParseVolumeDescriptor(std::span<const uint8_t> sector, uint64_t base, XdvdfsVolume& volume);

enum class VolumeSearch { Found, NotFound, Failed };

// Probes the candidate bases in order and lists the first volume found.
// NotFound: no candidate holds a descriptor. Failed: the volume was found but
// its tables are bad; errorText holds the message and entries is emptied.
VolumeSearch FindAndScanVolume(ImageReader& reader, uint64_t imageSize, XdvdfsVolume& volume,
                               std::vector<XdvdfsEntry>& entries, std::string& errorText);

// Reads one table and, recursively, the tables below it, appending to entries.
// tableBudget, when given, is the number of table bytes still allowed to be read.
bool ScanDirectory(ImageReader& reader, uint64_t base, uint32_t firstSector, uint32_t size,
                   const std::string& parentPath, int depth, std::vector<XdvdfsEntry>& entries,
                   std::string& errorText, uint64_t* tableBudget = nullptr);

// A disc name that can be joined onto a destination folder without leaving it:
// not "." or "..", nothing made only of dots and blanks, no separator, colon
// or NUL, and no reserved device name.
bool IsSafeName(std::string_view name);
// Every backslash-separated component of a path is safe.
bool IsSafeRelativePath(std::string_view path);

}  // namespace tf
