#pragma once
// The one record of the game edition this installer knows: how its disc is
// recognised, which of its files an install takes, the runtime payload, the
// arenas that get the RAVU RIZO object, what the Android pack holds and every
// name an install writes. The selection, the folder guard, the payload, the
// arena step, the pack, the uninstaller and their tests read it from here;
// another edition of the disc is another record. Plain C++.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ascii.h"
#include "common/payload_ids.h"  // generated from common/payload_files.txt

namespace tf {

// ---- The disc ----------------------------------------------------------

// The only test that refuses an image (FILETIME 2003-10-08 04:39:20.323 UTC).
inline constexpr uint64_t kGameVolumeTimestamp = 0x01C38D5623C39530ull;
// A retail disc holds exactly this many files of this many bytes in all.
inline constexpr uint32_t kRetailFileCount = 454;
inline constexpr uint64_t kRetailTotalBytes = 231662584ull;

// Taken from the disc: the executable at the volume root, and three folders
// with everything below them (disc names compare without ASCII case).
inline constexpr wchar_t kGameExecutableName[] = L"default.xbe";
inline constexpr wchar_t kGraphicsFolderName[] = L"GFX";  // holds the arenas
inline constexpr wchar_t kMusicFolderName[] = L"AUDMUSIC";
inline constexpr wchar_t kSoundFolderName[] = L"AUDSoundFX";
inline constexpr const wchar_t* kGameFolders[] = {kGraphicsFolderName, kMusicFolderName, kSoundFolderName};

// ---- The runtime payload -------------------------------------------------

// A file the program carries as RCDATA resource `resourceId` and writes into
// the install folder; an optional one may be missing from a build.
struct PayloadFile {
  uint16_t resourceId;
  const wchar_t* fileName;
  bool optional;
};

// In the order the files are written (the rows of common/payload_files.txt).
inline constexpr PayloadFile kPayloadFiles[] = {
#define TF_PAYLOAD_ROW(id, fileName, optional) {id, L"" fileName, optional},
    TF_PAYLOAD_ROWS(TF_PAYLOAD_ROW)
#undef TF_PAYLOAD_ROW
};

inline constexpr wchar_t kGameProgramName[] = L"" TF_RES_LOADER_FILE;  // the loader, under the game's name
inline constexpr wchar_t kRuntimeLibraryName[] = L"" TF_RES_RUNTIME_FILE;
inline constexpr wchar_t kArabicFontName[] = L"" TF_RES_ARABIC_FONT_FILE;
// Written after the payload, from the display settings.
inline constexpr wchar_t kSettingsFileName[] = L"tarnfell.ini";
// Files of older installs that an install removes.
inline constexpr const wchar_t* kLeftoverNames[] = {L"tf_loader.exe", L"PLAY.cmd", L"tf_log.txt"};

// ---- The arenas ----------------------------------------------------------

struct ArenaRow {
  const char* folder;     // below the graphics folder
  const char* container;  // the XMF container file in that folder
};

// Every arena's container gets a copy of the source object under the new name.
inline constexpr ArenaRow ArenaTable[] = {
    {"KITCHEN", "OBJECTS.xmf"}, {"HAUNTED", "OBJECTS.xmf"},  {"SCRAP", "WEAPONS.xmf"},
    {"SHIP", "OBJECTS.xmf"},    {"CABIN", "OBJECTS.xmf"},    {"BANQUET", "OBJECTS.xmf"},
    {"ISLAND", "OBJECTS.xmf"},  {"BUILDING", "OBJECTS.xmf"}, {"LAB", "OBJECTS.xmf"},
    {"WILDWEST", "OBJECTS.xmf"}, {"BOXING", "OBJECTS.xmf"},  {"MARKET", "OBJECTS.xmf"},
    {"HELL", "OBJECTS.xmf"},
};
// The container that holds the source object: the first target too.
inline constexpr const ArenaRow& kSourceArena = ArenaTable[0];
inline constexpr char kSourceObject[] = "WPH2";
inline constexpr char kNewObject[] = "MEAT";

// An arena's folder and its container, relative to the install folder.
inline std::wstring ArenaFolderPath(const ArenaRow& arena) {
  return std::wstring(kGraphicsFolderName) + L"\\" + WidenAscii(arena.folder);
}
inline std::wstring ArenaPath(const ArenaRow& arena) {
  return ArenaFolderPath(arena) + L"\\" + WidenAscii(arena.container);
}

// ---- The Android package -------------------------------------------------

// Install-folder names whose contents are packed, in pack order. Whether each
// is a file or a folder is decided on disk.
inline constexpr const wchar_t* GamePackNames[] = {kGameExecutableName, kGraphicsFolderName, kMusicFolderName,
                                                   kSoundFolderName, kArabicFontName};
inline constexpr size_t kGamePackNameCount = sizeof(GamePackNames) / sizeof(GamePackNames[0]);

// ---- Names an install writes or keeps ------------------------------------

inline constexpr wchar_t kGameTitle[] = L"Tarnfell";
inline constexpr wchar_t kUninstallerName[] = L"uninstall.exe";
inline constexpr wchar_t kShortcutName[] = L"Tarnfell.lnk";
// Appended to Program Files for the default install folder, and to a folder picked in the dialog.
inline constexpr wchar_t kGameFolderName[] = L"Tarnfell";
// Below HKEY_LOCAL_MACHINE, in the registry view of the program's own width;
// the uninstaller finds the install folder again by the value named here.
inline constexpr wchar_t kUninstallKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnfell";
inline constexpr wchar_t kInstallLocationValue[] = L"InstallLocation";
// The Android package and its README, in their folder of the install folder.
inline constexpr wchar_t kAndroidFolderName[] = L"Android";
inline constexpr wchar_t kPackageFileName[] = L"Tarnfell.apk";
inline constexpr wchar_t kAndroidReadmeName[] = L"README.txt";
// In the local application data folder: saved settings and the Android signing key.
inline constexpr wchar_t kUserFolderName[] = L"Tarnfell";
inline constexpr wchar_t kSigningKeyFileName[] = L"android-signing.pfx";
// The game's save folders, at any depth of the install folder: kept unless asked.
inline constexpr wchar_t kSavesFolderName[] = L"_SAVES";

}  // namespace tf
