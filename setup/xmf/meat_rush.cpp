#include "xmf/meat_rush.h"

#include "common/win32_file.h"
#include "xmf/xmf_messages.h"

namespace tf::xmf {
namespace {

constexpr uint64_t kMaxContainerBytes = 0x7FFFFFFF;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

FileWrite ReplaceArena(const std::wstring& path, std::span<const uint8_t> bytes) {
  uint32_t unused = 0;
  return ReplaceWholeFile(path, bytes, unused);
}

constexpr ArenaFileOps kWin32Files = {Exists, ReadWholeFile, ReplaceArena};

}  // namespace

const ArenaFileOps& Win32ArenaFiles() { return kWin32Files; }

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out, std::string& errorText) {
  return Succeeded(tf::ReadWholeFile(path, out, kMaxContainerBytes),
                   {kMsgCannotOpen, kMsgMissingOrTooLarge, kMsgCannotRead}, errorText);
}

bool PatchArenaFile(const std::wstring& sourcePath, const char* sourceName, const std::wstring& targetPath,
                    const char* newName, bool allowDuplicate, std::string& errorText) {
  return PatchArenaFileWith(kWin32Files, sourcePath, sourceName, targetPath, newName, allowDuplicate, errorText);
}

MeatRushResult PrepareMeatRush(const std::wstring& installFolder) {
  return PrepareMeatRushWith(kWin32Files, installFolder);
}

}  // namespace tf::xmf
