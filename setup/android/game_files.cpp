#include "android/game_files.h"

#include "common/text.h"
#include "common/win32_handle.h"

namespace tf::android {

namespace {

constexpr int kNameBufferBytes = 260;  // terminator included

// The name in UTF-8, or false when it does not fit the buffer.
bool ArchiveNameOf(const wchar_t* name, std::string& utf8) {
  char buffer[kNameBufferBytes];
  int n = WideCharToMultiByte(CP_UTF8, 0, name, -1, buffer, kNameBufferBytes, nullptr, nullptr);
  if (n <= 0) return false;
  utf8.assign(buffer, static_cast<size_t>(n - 1));
  return true;
}

uint64_t SizeOf(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

std::string NameTooLongMessage(const std::wstring& path) {
  return "The name of \"" + Narrow(path, CP_UTF8) + "\" is too long for the Android package.";
}

}  // namespace

bool CollectFolder(const std::wstring& folder, const std::string& prefix, std::vector<GameFile>& files,
                   std::string& errorText, const FolderListing& listing) {
  WalkOptions options;
  options.listing = listing;
  options.passOverUnlistable = true;
  std::vector<std::string> levels = {prefix};  // the archive folder of each level being walked
  bool named = true;
  WalkFolder(
      folder,
      [&](const WalkEntry& entry) {
        if (entry.name[0] == L'.') return WalkAction::SkipFolder;  // ".", ".." and every other dot-name
        levels.resize(static_cast<size_t>(entry.depth));
        std::string name;
        if (!ArchiveNameOf(std::wstring(entry.name).c_str(), name)) {
          errorText = NameTooLongMessage(std::wstring(entry.path));
          named = false;
          return WalkAction::Stop;
        }
        if (entry.isLink) return WalkAction::Continue;
        const std::string archiveName = levels.back().empty() ? name : levels.back() + "/" + name;
        if (entry.isFolder)
          levels.push_back(archiveName);
        else
          files.push_back({std::wstring(entry.path), archiveName, entry.size});
        return WalkAction::Continue;
      },
      options);
  return named;
}

bool CollectGameFiles(const std::wstring& installFolder, const wchar_t* const* names, size_t nameCount,
                      std::vector<GameFile>& files, std::string& errorText, const FolderListing& listing) {
  for (size_t i = 0; i < nameCount; ++i) {
    const std::wstring path = installFolder + L"\\" + names[i];
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    std::string name;
    if (!ArchiveNameOf(names[i], name)) {
      errorText = NameTooLongMessage(path);
      return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!CollectFolder(path, name, files, errorText, listing)) return false;
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    uint64_t size = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
                        ? SizeOf(data.nFileSizeHigh, data.nFileSizeLow)
                        : 0;
    files.push_back({path, name, size});
  }
  return true;
}

}  // namespace tf::android
