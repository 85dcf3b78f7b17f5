// Which folders an install may write into.
#include "pipeline/install_folder_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "unix_side.h"
#include "uninstall_test_support.h"

namespace tf {
namespace {

using test::ListTree;
using test::TempDir;

const wchar_t kOtherFiles[] = L"The install folder already holds other files. Choose an empty folder or a new one.";
const wchar_t kDriveRoot[] =
    L"The install folder cannot be the top folder of a drive or a network share. Choose a folder inside it.";

// The files of a small install: three disc files and what every install writes.
std::vector<std::wstring> SmallInstall() {
  static const std::vector<XdvdfsEntry> disc = {{"default.xbe", 0, 1, false},
                                                {"GFX\\KITCHEN\\OBJECTS.xmf", 0, 1, false},
                                                {"AUDMUSIC\\track01.wav", 0, 1, false}};
  GameSelection selection;
  for (const XdvdfsEntry& e : disc) selection.entries.push_back(&e);
  return InstallFilePaths(selection);
}

TEST(CheckInstallFolder, TakesNewEmptyAndInstallFoldersAndRefusesOtherPaths) {
  const struct {
    const char* what;
    bool made;
    std::initializer_list<const wchar_t*> entries;
    const wchar_t* refusal;  // null: accepted
  } cases[] = {
      {"a folder not made yet", false, {}, nullptr},
      {"an empty folder", true, {}, nullptr},
      {"an earlier install the game added files to",
       true,
       {L"tf_hybrid.dll", L"default.xbe", L"Tarnfell.exe", L"screenshots\\shot1.png", L"notes.txt"},
       nullptr},
      {"an interrupted install, temporary files too",
       true,
       {L"default.xbe", L"GFX\\KITCHEN\\OBJECTS.xmf.tmp", L"AUDMUSIC\\", L"uninstall.exe.tmp",
        L"Android\\Tarnfell.apk.tmp", L"Android\\README.txt"},
       nullptr},
      {"every path an install makes or keeps, in other cases",
       true,
       {L"DEFAULT.XBE", L"gfx\\kitchen\\objects.XMF", L"AudMusic\\TRACK01.wav", L"TARNFELL.EXE", L"msvcp140.dll",
        L"MSVCP140_1.DLL", L"msvcp140_2.dll", L"msvcp140_atomic_wait.dll", L"vcruntime140.dll",
        L"vcruntime140_threads.dll", L"concrt140.dll", L"readme.txt", L"Arabic_Font.bin", L"Tarnfell.INI",
        L"UNINSTALL.EXE", L"android\\Tarnfell.apk", L"TF_LOADER.EXE", L"play.cmd", L"tf_log.txt"},
       nullptr},
      {"kept saves, at the top and deeper, with anything in them",
       true,
       {L"_SAVES\\slot1.sav", L"_SAVES\\old\\", L"GFX\\_saves\\x\\y.dat"},
       nullptr},
      {"a file of its own", true, {L"saves.dat"}, kOtherFiles},
      {"a folder of its own", true, {L"Mods\\"}, kOtherFiles},
      {"game files and a file of its own", true, {L"default.xbe", L"GFX\\KITCHEN\\x.bin"}, kOtherFiles},
      {"one marker and a file of its own", true, {L"tf_hybrid.dll", L"notes.txt"}, kOtherFiles},
      {"a name that only begins like one", true, {L"GFXDATA\\"}, kOtherFiles},
      {"a name that only ends like one", true, {L"old_tarnfell.ini"}, kOtherFiles},
      // The player's own files under names an install uses: the uninstaller would remove them.
      {"a phone backup in Android", true, {L"Android\\DCIM\\img001.jpg"}, kOtherFiles},
      {"mods in GFX", true, {L"GFX\\MyMods\\readme.txt"}, kOtherFiles},
      {"a file where the game has a folder", true, {L"GFX\\KITCHEN"}, kOtherFiles},
      {"saves below a folder of its own", true, {L"Mods\\_SAVES\\slot1.sav"}, kOtherFiles},
  };
  const std::vector<std::wstring> files = SmallInstall();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::wstring folder = c.made ? dir / L"game" : dir / L"Games\\Tarnfell";
    if (c.made) test::MakeTree(folder, c.entries);
    const std::vector<std::wstring> before = ListTree(dir.Path());
    std::wstring message;
    EXPECT_EQ(CheckInstallFolder(folder, files, message), c.refusal == nullptr);
    EXPECT_EQ(message, c.refusal ? c.refusal : L"");
    EXPECT_EQ(ListTree(dir.Path()), before);  // it only reads
  }
}

TEST(InstallFilePaths, TheSelectionAndEveryFileAnInstallWritesOrRemoves) {
  const std::vector<std::wstring> files = SmallInstall();
  for (const wchar_t* path :
       {L"default.xbe", L"GFX\\KITCHEN\\OBJECTS.xmf", L"AUDMUSIC\\track01.wav", L"Tarnfell.exe", L"tf_hybrid.dll",
        L"concrt140.dll", L"arabic_font.bin", L"tarnfell.ini", L"uninstall.exe", L"uninstall.exe.tmp",
        L"Android\\Tarnfell.apk", L"Android\\Tarnfell.apk.tmp", L"Android\\README.txt", L"Android\\README.txt.tmp",
        L"tf_loader.exe", L"PLAY.cmd", L"tf_log.txt", L"GFX\\HELL\\OBJECTS.xmf.tmp", L"GFX\\SCRAP\\WEAPONS.xmf.tmp",
        L"Tarnfell.exe.tmp", L"arabic_font.bin.tmp", L"tarnfell.ini.tmp"})
    EXPECT_NE(std::find(files.begin(), files.end(), path), files.end()) << test::Utf8(path);
  EXPECT_EQ(std::find(files.begin(), files.end(), L"GFX\\HELL\\OBJECTS.xmf"), files.end());  // not on the disc
}

// A link anywhere in a folder that is not an earlier install could lead the
// install (run as administrator) to write elsewhere, and the uninstaller to
// delete there: refused, wherever it is, under a name of the install or not.
// (Wine makes only Unix links, which show as plain entries: their final path
// gives them away.)
TEST(CheckInstallFolder, RefusesALinkAnywhereInAFolderThatIsNotAnInstall) {
  // What lies behind each link would pass if the link were followed.
  const struct {
    const char* what;
    std::initializer_list<const wchar_t*> entries, outside;
    const char *link, *target;  // made on the Unix side
  } cases[] = {
      {"a folder link named GFX", {}, {L"KITCHEN\\OBJECTS.xmf"}, "GFX", "../outside"},
      {"a folder link named Android", {}, {L"Tarnfell.apk"}, "Android", "../outside"},
      {"a folder link deep on the game's way", {L"GFX\\"}, {L"OBJECTS.xmf"}, "GFX/KITCHEN", "../../outside"},
      {"a link inside kept saves", {L"_SAVES\\"}, {L"slot1.sav"}, "_SAVES/old", "../../outside"},
      {"a file link under a game file's name", {}, {L"default.xbe"}, "default.xbe", "../outside/default.xbe"},
  };
  const std::vector<std::wstring> files = SmallInstall();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    test::MakeTree(dir / L"outside", c.outside);
    const std::wstring folder = dir / L"game";
    test::MakeTree(folder, c.entries);
    const std::string unixFolder = test::UnixPathOf(folder);
    ASSERT_FALSE(unixFolder.empty());
    ASSERT_TRUE(test::RunUnixShell(std::string("ln -s '") + c.target + "' '" + unixFolder + "/" + c.link + "'",
                                   dir.Path()));
    std::wstring message;
    EXPECT_FALSE(CheckInstallFolder(folder, files, message));
    EXPECT_EQ(message, kOtherFiles);
  }
}

// A folder that cannot be listed may hold anything.
TEST(CheckInstallFolder, RefusesAFolderThatCannotBeListed) {
  struct Listing {
    static HANDLE WINAPI DeniedBelowTop(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
      if (std::wstring_view(pattern).find(L"\\Mods") != std::wstring_view::npos) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
      }
      return FindFirstFileW(pattern, found);
    }
  };
  TempDir dir;
  const std::wstring folder = dir / L"game";
  test::MakeTree(folder, {L"default.xbe", L"_SAVES\\Mods\\"});
  std::wstring message;
  EXPECT_FALSE(CheckInstallFolder(folder, SmallInstall(), message, {Listing::DeniedBelowTop, FindNextFileW}));
  EXPECT_EQ(message, L"The install folder cannot be read. Choose another folder.");
  message.clear();
  EXPECT_TRUE(CheckInstallFolder(folder, SmallInstall(), message));
}

// An empty drive would pass as an empty folder: its top folder is refused
// however it is written, and so is a network share's.
TEST(CheckInstallFolder, RefusesTheTopFolderOfADriveOrShare) {
  TempDir dir;
  const std::wstring empty = dir / L"drive";
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  test::MappedDrive drive(empty, dir.Path());
  ASSERT_FALSE(drive.Root().empty()) << "no spare drive letter could be mapped";
  const std::wstring letter = drive.Root().substr(0, 2);
  for (const std::wstring& root : {letter, letter + L"\\", letter + L"\\\\\\", letter + L"\\.", std::wstring(L"C:\\"),
                                   std::wstring(L"\\\\server\\share\\")}) {
    SCOPED_TRACE(test::Utf8(root));
    std::wstring message;
    EXPECT_FALSE(CheckInstallFolder(root, {}, message));
    EXPECT_EQ(message, kDriveRoot);
  }
  std::wstring message;
  EXPECT_TRUE(CheckInstallFolder(empty, {}, message));  // the same folder by its own path
  EXPECT_TRUE(CheckInstallFolder(letter + L"\\Tarnfell", {}, message));
}

}  // namespace
}  // namespace tf
