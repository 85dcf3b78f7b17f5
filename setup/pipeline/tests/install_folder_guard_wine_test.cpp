// Which folders an install may write into.
#include "pipeline/install_folder_guard.h"

#include <gtest/gtest.h>

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

TEST(CheckInstallFolder, TakesNewEmptyAndInstallFoldersAndRefusesOtherFiles) {
  const struct {
    const char* what;
    bool made;
    std::initializer_list<const wchar_t*> entries;
    bool accepted;
  } cases[] = {
      {"a folder not made yet", false, {}, true},
      {"an empty folder", true, {}, true},
      {"an earlier install the game added files to",
       true,
       {L"tf_hybrid.dll", L"default.xbe", L"Tarnfell.exe", L"screenshots\\shot1.png", L"notes.txt"},
       true},
      {"an interrupted install", true, {L"default.xbe", L"GFX\\ARENA\\a.xmf", L"AUDMUSIC\\"}, true},
      {"every name an install makes or keeps, in other cases",
       true,
       {L"DEFAULT.XBE", L"gfx\\", L"AudMusic\\", L"audsoundfx\\", L"TARNFELL.EXE", L"msvcp140.dll", L"MSVCP140_1.DLL",
        L"msvcp140_2.dll", L"msvcp140_atomic_wait.dll", L"vcruntime140.dll", L"vcruntime140_threads.dll",
        L"concrt140.dll", L"readme.txt", L"Arabic_Font.bin", L"Tarnfell.INI", L"UNINSTALL.EXE",
        L"android\\Tarnfell.apk", L"TF_LOADER.EXE", L"play.cmd", L"tf_log.txt", L"_saves\\slot1.sav"},
       true},
      {"only kept saves", true, {L"_SAVES\\slot1.sav", L"_SAVES\\old\\"}, true},
      {"a file of its own", true, {L"saves.dat"}, false},
      {"a folder of its own", true, {L"Mods\\"}, false},
      {"game files and a file of its own", true, {L"default.xbe", L"GFX\\x.bin", L"notes.txt"}, false},
      {"one marker and a file of its own", true, {L"tf_hybrid.dll", L"notes.txt"}, false},
      {"a name that only begins like one", true, {L"GFXDATA\\"}, false},
      {"a name that only ends like one", true, {L"old_tarnfell.ini"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::wstring folder = c.made ? dir / L"game" : dir / L"Games\\Tarnfell";
    if (c.made) test::MakeTree(folder, c.entries);
    const std::vector<std::wstring> before = ListTree(dir.Path());
    std::wstring message;
    EXPECT_EQ(CheckInstallFolder(folder, message), c.accepted);
    EXPECT_EQ(message, c.accepted ? L"" : kOtherFiles);
    EXPECT_EQ(ListTree(dir.Path()), before);  // it only reads
  }
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
    EXPECT_FALSE(CheckInstallFolder(root, message));
    EXPECT_EQ(message, kDriveRoot);
  }
  std::wstring message;
  EXPECT_TRUE(CheckInstallFolder(empty, message));  // the same folder by its own path
  EXPECT_TRUE(CheckInstallFolder(letter + L"\\Tarnfell", message));
}

}  // namespace
}  // namespace tf
