#pragma once
// The package file, written in one forward pass: stored entries from memory,
// the streamed game pack behind a local header whose CRC is patched in
// afterwards, then the central directory and the end record.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "android/crypto_hash.h"
#include "android/game_pack.h"
#include "android/zip_records.h"
#include "common/win32_file.h"
#include "common/win32_handle.h"

namespace tf::android {

// Progress of the build: (context, status line, done, total); false asks it to stop.
using ProgressCallback = bool (*)(void* context, const std::wstring& text, uint64_t done, uint64_t total);

inline constexpr char kMsgWriteFailed[] = "Writing the Android package failed.";
inline constexpr char kMsgHashFailed[] = "Hashing the Android package failed.";
inline constexpr char kMsgGameFileUnreadable[] = "A game file could not be read while packing.";
inline constexpr char kMsgGameFileShort[] = "A game file ended early while packing.";
inline constexpr char kMsgCancelled[] = "cancelled";
inline constexpr wchar_t kPackingStatus[] = L"Packing the game into the Android app\u2026";
inline constexpr uint32_t kPakBufferBytes = 0x100000;  // 1 MiB

class ZipWriter {
 public:
  // Writes the package and reads the game files through the file layer with these calls.
  explicit ZipWriter(FileCalls calls = {}) : calls_(calls) {}
  // Creates or truncates the file (read and write, no sharing); a read-only file is refused.
  [[nodiscard]] bool Create(const std::wstring& path);
  // Writes every byte at the current position.
  [[nodiscard]] bool WriteBytes(const void* data, uint64_t count);
  // One complete stored entry. Refused with zip::kMsgPackageTooLarge when it
  // would not fit the zip fields; otherwise kMsgWriteFailed on a failed write.
  [[nodiscard]] bool AddStoredEntry(const std::string& name, const void* data, uint64_t count,
                                    std::string& errorText);
  // "assets/game.pak": the index, then every file's first `size` bytes,
  // through one 1 MiB buffer, CRC-32 and SHA-256 in the same pass; reports
  // after each file. `digest` is the SHA-256 of the whole pack.
  [[nodiscard]] bool WritePakEntry(const std::vector<GameFile>& files, const std::vector<uint8_t>& index,
                                   uint64_t pakLength, ProgressCallback callback, void* context,
                                   Sha256Digest& digest, std::string& errorText);
  // The central directory in write order and the end record.
  [[nodiscard]] bool Finish(std::string& errorText);
  // Everything written reaches the disk before the file is moved into place.
  [[nodiscard]] bool Flush() { return file_ && FlushFileBuffers(file_.Get()); }
  void Close() { file_.Reset(); }

  uint64_t Position() const { return position_; }
  const std::vector<CentralRecord>& CentralRecords() const { return centralRecords_; }

 private:
  bool PatchCrc(uint64_t localHeaderOffset, uint32_t crc);

  FileCalls calls_;
  UniqueFile file_;
  uint64_t position_ = 0;
  std::vector<CentralRecord> centralRecords_;
};

}  // namespace tf::android
