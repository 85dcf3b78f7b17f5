// tf_setup.exe /silent ... /android from start to end: the log from 90 to
// 96 per cent and the package beside the game; and a failing Android step,
// which ends the install with exit code 1 before the uninstaller and the
// registration.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "android/game_files.h"
#include "android_wine_support.h"
#include "common/known_folders.h"
#include "common/progress_math.h"
#include "discgen.h"
#include "uninstall_entry.h"
#include "win_test_support.h"

namespace tf::android {
namespace {

const char kEllipsis[] = "\xE2\x80\xA6";

std::wstring MakeDisc(const TempDir& dir) {
  std::wstring path = dir / L"Tarnfell.iso";
  std::string error;
  EXPECT_TRUE(discgen::WriteGameImage(discgen::GameOptions{}, std::filesystem::path(path), error)) << error;
  return path;
}

// The log's lines from "Preparing RAVU RIZO assets" on.
std::string LogFromArenaStep(const std::wstring& logPath) {
  std::string log = ReadText(logPath);
  size_t at = log.find("[ 90%] Preparing RAVU RIZO assets");
  return at == std::string::npos ? "<no arena step in the log>\n" + log : log.substr(at);
}

TEST(AndroidInstall, SilentInstallBuildsThePackage) {
  testing::UserKeyFolderGuard userKeys;
  TempDir dir;
  std::wstring setup = dir / L"tf_setup.exe", folder = dir / L"Games\\Tarnfell";
  ASSERT_TRUE(CopyFileW(test::FromUnixPath(TF_SETUP_EXE).c_str(), setup.c_str(), FALSE));
  std::wstring disc = MakeDisc(dir);
  test::ProcessResult r = test::RunProgram(setup, L"/silent " + disc + L" " + folder + L" /android");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);

  std::vector<GameFile> files;
  std::string error;
  ASSERT_TRUE(CollectGameFiles(folder, GamePackNames, kGamePackNameCount, files, error));
  uint64_t total = 0, done = 0;
  for (const GameFile& f : files) total += f.size;
  std::string expected = std::string("[ 90%] Preparing RAVU RIZO assets") + kEllipsis + "\r\n[ 90%] Building the Android app" +
                         kEllipsis + "\r\n";
  for (const GameFile& f : files) {
    done += f.size;
    expected += FormatLogPrefix(BuildProgressPercent(done, total)) + "Packing the game into the Android app" + kEllipsis + "\r\n";
  }
  expected += std::string("[ 96%] Signing the Android app") + kEllipsis + "\r\n";
  std::string log = LogFromArenaStep(setup + L".log");
  EXPECT_EQ(log.substr(0, expected.size()), expected);
  EXPECT_EQ(log.substr(log.size() - 14), "[100%] Done.\r\n");

  std::vector<uint8_t> zip;
  std::vector<testing::ZipItem> items;
  ASSERT_TRUE(test::ReadFileBytes(folder + L"\\Android\\Tarnfell.apk", zip));
  ASSERT_TRUE(testing::ListZip(zip, items));
  EXPECT_EQ(items.size(), 13u);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> packed;
  ASSERT_TRUE(testing::ParsePak(testing::ItemBytes(zip, items[9]), packed));
  EXPECT_EQ(packed.size(), files.size());
  EXPECT_TRUE(FileExists(folder + L"\\Android\\README.txt"));
  test::DeleteUninstallEntry(KEY_WOW64_64KEY);
}

TEST(AndroidInstall, AFailingAndroidStepEndsTheInstall) {
  // The 64-bit view, which this test build's installer writes.
  test::DeleteUninstallEntry(KEY_WOW64_64KEY);
  TempDir dir;
  std::wstring setup = dir / L"tf_setup.exe", folder = dir / L"T";
  ASSERT_TRUE(test::CopyWithoutResource(test::FromUnixPath(TF_SETUP_EXE), setup, 111));
  std::wstring disc = MakeDisc(dir);
  test::ProcessResult r = test::RunProgram(setup, L"/silent " + disc + L" " + folder + L" /android");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(LogFromArenaStep(setup + L".log"),
            std::string("[ 90%] Preparing RAVU RIZO assets") + kEllipsis + "\r\n[ 90%] Building the Android app" +
                kEllipsis +
                "\r\n[ 90%] Failed: The Android version could not be built: this installer was built without the "
                "Android template. The PC game is installed and working.\r\n");
  EXPECT_TRUE(FileExists(folder + L"\\default.xbe")) << "the PC game stays";
  EXPECT_FALSE(FileExists(folder + L"\\Android"));
  EXPECT_FALSE(FileExists(folder + L"\\uninstall.exe"));
  EXPECT_FALSE(test::UninstallEntryExists(KEY_WOW64_64KEY));
}

// %LOCALAPPDATA%\Tarnfell is a file: no key can be stored there. Every
// /android install then fails at its Android step (before the uninstaller and
// the registration) and leaves no package, the next one alike: no two
// packages are ever signed with two keys that were thrown away.
TEST(AndroidInstall, AKeyThatCannotBeStoredFailsEveryInstall) {
  test::DeleteUninstallEntry(KEY_WOW64_64KEY);
  const std::wstring keyFolder = KnownFolderPath(FOLDERID_LocalAppData) + L"\\Tarnfell";
  const std::wstring aside = keyFolder + L".kept-by-test";
  // The user's folder goes aside for the test and comes back after it.
  struct PutBack {
    std::wstring keyFolder, aside;
    bool moved;
    ~PutBack() {
      DeleteFileW(keyFolder.c_str());
      if (moved) MoveFileW(aside.c_str(), keyFolder.c_str());
    }
  } putBack{keyFolder, aside, false};
  if (GetFileAttributesW(keyFolder.c_str()) != INVALID_FILE_ATTRIBUTES) {
    ASSERT_TRUE(MoveFileW(keyFolder.c_str(), aside.c_str()));
    putBack.moved = true;
  }
  ASSERT_TRUE(test::WriteFileBytes(keyFolder, "not a folder", 12));

  TempDir dir;
  const std::wstring setup = dir / L"tf_setup.exe", disc = MakeDisc(dir);
  ASSERT_TRUE(CopyFileW(test::FromUnixPath(TF_SETUP_EXE).c_str(), setup.c_str(), FALSE));
  const std::string failed = "[ 90%] Failed: The Android version could not be built: The signing key could not be "
                             "stored in \"" + test::Utf8(keyFolder) + "\" (error ";
  const std::string end = "). The PC game is installed and working.\r\n";
  for (const wchar_t* name : {L"First", L"Second"}) {
    SCOPED_TRACE(test::Utf8(name));
    const std::wstring folder = dir / name;
    test::ProcessResult r = test::RunProgram(setup, L"/silent " + disc + L" " + folder + L" /android");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 1u);
    const std::string log = LogFromArenaStep(setup + L".log");
    const size_t at = log.find(failed);
    ASSERT_NE(at, std::string::npos) << log;
    const std::string code = log.substr(at + failed.size());
    const size_t digits = code.find_first_not_of("0123456789");
    EXPECT_GT(digits, 0u) << log;
    EXPECT_EQ(code.substr(digits), end) << "the last line";
    EXPECT_TRUE(FileExists(folder + L"\\default.xbe")) << "the PC game stays";
    EXPECT_FALSE(FileExists(folder + L"\\Android\\Tarnfell.apk") ||
                 FileExists(folder + L"\\Android\\Tarnfell.apk.tmp"));
    EXPECT_FALSE(FileExists(folder + L"\\uninstall.exe"));
    EXPECT_FALSE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  }
  EXPECT_EQ(ReadText(keyFolder), "not a folder");
}

}  // namespace
}  // namespace tf::android
