#pragma once
// The game pack "assets/game.pak": the files found under the packed names
// (GamePackNames, common/game_edition.h), and the pack's header and index.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tf::android {

// One file to pack.
struct GameFile {
  std::wstring sourcePath;  // full path in the install folder
  std::string name;         // UTF-8 archive name, components joined with "/"
  uint64_t size = 0;        // taken when the file is listed
};

inline constexpr char kPakEntryName[] = "assets/game.pak";
inline constexpr char kPakMagic[4] = {'T', 'F', 'P', 'K'};
inline constexpr uint32_t kPakVersion = 1;
// The header: magic, version, file count.
inline constexpr size_t kPakHeaderSize = 12;
inline constexpr size_t kPakMagicAt = 0;
inline constexpr size_t kPakVersionAt = 4;
inline constexpr size_t kPakCountAt = 8;
// Per file: the name's length (u16), the name, the file's size (u64).
inline constexpr size_t kPakNameLengthSize = 2;
inline constexpr size_t kPakFileSizeSize = 8;
inline constexpr size_t kPakRecordFixedSize = kPakNameLengthSize + kPakFileSizeSize;
inline constexpr uint64_t kMaxPakLength = 0xFFFFFFFFull;  // one zip entry with 32-bit sizes
inline constexpr uint64_t kMaxPakNameLength = 0xFFFF;

inline constexpr char kMsgNoGameFiles[] = "No game files were found to pack.";
inline constexpr char kMsgGameTooLarge[] = "The game data is too large for one package.";
inline constexpr char kMsgGameNameTooLong[] = "A game file name is too long for the package.";

// "TFPK", u32 version 1, u32 file count, then per file: u16 name length, the
// name bytes, u64 size. Every name must be at most kMaxPakNameLength bytes
// (PreparePak checks).
std::vector<uint8_t> BuildPakIndex(const std::vector<GameFile>& files);

// Checks the listed files, builds the index and the whole pack's length
// (index + every size, in 64 bits without wrap-around), which must stay below 4 GiB.
[[nodiscard]] bool PreparePak(const std::vector<GameFile>& files, std::vector<uint8_t>& index, uint64_t& pakLength,
                              std::string& errorText);

}  // namespace tf::android
