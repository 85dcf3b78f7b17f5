#include "android/game_pack.h"

#include "common/bytes.h"

namespace tf::android {

std::vector<uint8_t> BuildPakIndex(const std::vector<GameFile>& files) {
  std::vector<uint8_t> index;
  Record<kPakHeaderSize> header{};
  PutRecordBytes<kPakMagicAt>(header, kPakMagic);
  PutRecordU32<kPakVersionAt>(header, kPakVersion);
  PutRecordU32<kPakCountAt>(header, static_cast<uint32_t>(files.size()));
  AppendRecord(index, header);
  for (const GameFile& f : files) {
    Record<kPakNameLengthSize> nameLength{};
    PutRecordU16<0>(nameLength, static_cast<uint16_t>(f.name.size()));
    AppendRecord(index, nameLength, f.name);
    Record<kPakFileSizeSize> size{};
    PutRecordU64<0>(size, f.size);
    AppendRecord(index, size);
  }
  return index;
}

bool PreparePak(const std::vector<GameFile>& files, std::vector<uint8_t>& index, uint64_t& pakLength,
                std::string& errorText) {
  if (files.empty()) {
    errorText = kMsgNoGameFiles;
    return false;
  }
  // Count the length first: names and sizes come from the file system, and a
  // list this large is refused before any index memory is spent on it.
  uint64_t length = kPakHeaderSize;
  for (const GameFile& f : files) {
    if (f.name.size() > kMaxPakNameLength) {
      errorText = kMsgGameNameTooLong;
      return false;
    }
    // length stays at most kMaxPakLength here, so neither step can wrap.
    length += kPakRecordFixedSize + f.name.size();
    if (length > kMaxPakLength || f.size > kMaxPakLength - length) {
      errorText = kMsgGameTooLarge;
      return false;
    }
    length += f.size;
  }
  index = BuildPakIndex(files);
  pakLength = length;
  return true;
}

}  // namespace tf::android
