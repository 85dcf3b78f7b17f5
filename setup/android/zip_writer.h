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
#include "common/background_job.h"
#include "common/win32_file.h"

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

class PakSums;

class ZipWriter {
 public:
  // Writes from the start of `file`, a new empty file that stays the caller's
  // (the package under its temporary name, common/win32_file.h), and reads the
  // game files, through the file layer with these calls.
  explicit ZipWriter(HANDLE file, FileCalls calls = {}) : calls_(calls), file_(file) {}
  // Writes every byte at the current position.
  [[nodiscard]] bool WriteBytes(const void* data, uint64_t count);
  // One complete stored entry. Refused with zip::kMsgPackageTooLarge when it
  // would not fit the zip fields; otherwise kMsgWriteFailed on a failed write.
  [[nodiscard]] bool AddStoredEntry(const std::string& name, const void* data, uint64_t count,
                                    std::string& errorText);
  // "assets/game.pak": the index, then every file's first `size` bytes in
  // 1 MiB chunks, CRC-32 and SHA-256 in the same pass: while this thread
  // hashes a chunk, a second one computes its CRC, writes it and reads the
  // file's next chunk into the other of two buffers. Reports after each file,
  // before anything of the next file is read. `digest` is the SHA-256 of the
  // whole pack.
  [[nodiscard]] bool WritePakEntry(const std::vector<GameFile>& files, const std::vector<uint8_t>& index,
                                   uint64_t pakLength, ProgressCallback callback, void* context,
                                   Sha256Digest& digest, std::string& errorText);
  // The central directory in write order and the end record.
  [[nodiscard]] bool Finish(std::string& errorText);

  uint64_t Position() const { return position_; }
  const std::vector<CentralRecord>& CentralRecords() const { return centralRecords_; }

 private:
  // The steps of WritePakEntry; each sets errorText when it fails.
  bool WritePakBytes(const uint8_t* data, size_t count, PakSums& sums, std::string& errorText);
  bool WriteGameFiles(const std::vector<GameFile>& files, ProgressCallback callback, void* context, PakSums& sums,
                      std::string& errorText);
  bool WriteGameFile(const GameFile& file, std::vector<uint8_t> (&buffers)[2], BackgroundJob& job, PakSums& sums,
                     std::string& errorText);
  bool EndPakEntry(uint64_t localHeaderOffset, uint64_t pakLength, PakSums& sums, Sha256Digest& digest,
                   std::string& errorText);
  bool PatchCrc(uint64_t localHeaderOffset, uint32_t crc);

  FileCalls calls_;
  HANDLE file_;
  uint64_t position_ = 0;
  std::vector<CentralRecord> centralRecords_;
};

}  // namespace tf::android
