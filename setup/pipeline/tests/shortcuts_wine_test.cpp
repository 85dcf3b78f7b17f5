// Shell links written by CreateShortcut and read back through IShellLinkW, and
// the install step that copies the uninstaller and makes the chosen links in
// the known folders of the account the test runs as.
#include "pipeline/shortcuts.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include "common/com_ref.h"
#include "common/known_folders.h"
#include "uninstall_entry.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::FileExists;
using test::TempDir;

struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComScope() { CoUninitialize(); }
};

struct LinkFields {
  std::wstring target, workingFolder, description, iconPath, arguments;
  int iconIndex = -1;
};

bool ReadLink(const std::wstring& path, LinkFields& out) {
  ComRef<IShellLinkW> link;
  ComRef<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid())) || FAILED(file->Load(path.c_str(), STGM_READ)))
    return false;
  wchar_t buf[MAX_PATH] = {};
  link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
  out.target = buf;
  buf[0] = 0;
  link->GetWorkingDirectory(buf, MAX_PATH);
  out.workingFolder = buf;
  buf[0] = 0;
  link->GetDescription(buf, MAX_PATH);
  out.description = buf;
  buf[0] = 0;
  link->GetIconLocation(buf, MAX_PATH, &out.iconIndex);
  out.iconPath = buf;
  buf[0] = 0;
  link->GetArguments(buf, MAX_PATH);
  out.arguments = buf;
  return true;
}

void ExpectLinkToGame(const std::wstring& link, const std::wstring& folder) {
  LinkFields f;
  ASSERT_TRUE(ReadLink(link, f)) << test::Utf8(link);
  EXPECT_EQ(f.target, folder + L"\\Tarnfell.exe");
  EXPECT_EQ(f.workingFolder, folder);
  EXPECT_EQ(f.description, L"Tarnfell");
  EXPECT_EQ(f.iconPath, folder + L"\\Tarnfell.exe");
  EXPECT_EQ(f.iconIndex, 0);
}

std::wstring RunningProgram() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

TEST(CreateShortcut, TheLinkHoldsTargetWorkingFolderDescriptionAndIcon) {
  ComScope com;
  TempDir dir;
  const std::wstring game = dir / L"Game\\Tarnfell.exe";
  CreateDirectoryW((dir / L"Game").c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(game, "MZ", 2));
  struct Case {
    const wchar_t* link;
    std::wstring icon;
  } cases[] = {{L"with icon.lnk", game}, {L"without icon.lnk", L""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(test::Utf8(c.link));
    ASSERT_TRUE(CreateShortcut(dir / c.link, game, dir / L"Game", c.icon));
    LinkFields f;
    ASSERT_TRUE(ReadLink(dir / c.link, f));
    EXPECT_EQ(f.target, game);
    EXPECT_EQ(f.workingFolder, dir / L"Game");
    EXPECT_EQ(f.description, L"Tarnfell");
    EXPECT_EQ(f.iconPath, c.icon);
    EXPECT_EQ(f.iconIndex, 0);
    EXPECT_EQ(f.arguments, L"");
  }
}

TEST(CreateShortcut, ReplacesALinkOfTheSameNameAndFailsWhereItCannotSave) {
  ComScope com;
  TempDir dir;
  const std::wstring link = dir / L"Tarnfell.lnk";
  ASSERT_TRUE(CreateShortcut(link, L"C:\\Old\\Tarnfell.exe", L"C:\\Old", L"C:\\Old\\Tarnfell.exe"));
  ASSERT_TRUE(CreateShortcut(link, L"C:\\New\\Tarnfell.exe", L"C:\\New", L"C:\\New\\Tarnfell.exe"));
  ExpectLinkToGame(link, L"C:\\New");

  EXPECT_FALSE(CreateShortcut(dir / L"missing\\Tarnfell.lnk", L"C:\\T\\Tarnfell.exe", L"C:\\T", L""));
  EXPECT_FALSE(FileExists(dir / L"missing"));
  CreateDirectoryW((dir / L"taken.lnk").c_str(), nullptr);  // a folder where the link would go
  EXPECT_FALSE(CreateShortcut(dir / L"taken.lnk", L"C:\\T\\Tarnfell.exe", L"C:\\T", L""));
}

// Left where the build can read it: CTest's lnkinfo check reads this file
// after this test (check_shortcut_lnkinfo.sh).
TEST(CreateShortcut, WritesALinkForTheLnkinfoCheck) {
  ComScope com;
  const std::wstring folder = test::FromUnixPath(TF_LNKINFO_DIR);
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring link = folder + L"\\Tarnfell.lnk";
  DeleteFileW(link.c_str());
  ASSERT_TRUE(CreateShortcut(link, L"C:\\Games\\Tarnfell\\Tarnfell.exe", L"C:\\Games\\Tarnfell",
                             L"C:\\Games\\Tarnfell\\Tarnfell.exe"));
  ExpectLinkToGame(link, L"C:\\Games\\Tarnfell");
}

class UninstallerAndShortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    links_ = test::ShortcutLocations();
    ASSERT_FALSE(links_.desktop.empty());
    ASSERT_FALSE(links_.commonPrograms.empty());
    ASSERT_FALSE(links_.programs.empty());
    links_.Delete();
  }
  void TearDown() override {
    links_.Delete();
    RemoveDirectoryW(links_.commonPrograms.c_str());
  }
  ComScope com_;
  test::ShortcutPaths links_;
};

TEST_F(UninstallerAndShortcuts, TheChoicesDecideTheLinksAndTheUninstallerIsAlwaysCopied) {
  std::vector<uint8_t> program, copy;
  ASSERT_TRUE(test::ReadFileBytes(RunningProgram(), program));
  struct Case {
    bool desktop, startMenu;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "desktop " << c.desktop << ", start menu " << c.startMenu);
    TempDir dir;
    DWORD error = 0;
    ASSERT_TRUE(CopyUninstaller(dir.Path(), error)) << error;
    EXPECT_TRUE(CreateShortcuts(dir.Path(), c.desktop, c.startMenu).empty());
    ASSERT_TRUE(test::ReadFileBytes(dir / L"uninstall.exe", copy));
    EXPECT_FALSE(FileExists(dir / L"uninstall.exe.tmp"));
    EXPECT_TRUE(copy == program);
    EXPECT_EQ(FileExists(links_.desktop), c.desktop);
    EXPECT_EQ(FileExists(links_.commonPrograms), c.startMenu);
    EXPECT_FALSE(FileExists(links_.programs));  // the programs folder of all users is there
    if (c.desktop) ExpectLinkToGame(links_.desktop, dir.Path());
    if (c.startMenu) ExpectLinkToGame(links_.commonPrograms, dir.Path());
    links_.Delete();
  }
}

TEST_F(UninstallerAndShortcuts, AFailedSaveInTheCommonProgramsFolderMakesNoLinkInTheOwnOne) {
  ASSERT_TRUE(CreateDirectoryW(links_.commonPrograms.c_str(), nullptr));  // the save there fails
  TempDir dir;
  EXPECT_EQ(CreateShortcuts(dir.Path(), false, true), std::vector<std::wstring>{links_.commonPrograms});
  EXPECT_FALSE(FileExists(links_.programs));
}

// The uninstaller must be in place or the install fails: what stands in its
// way is reported with the error, the old file stays as it was and no
// temporary copy is left; over an earlier copy (read-only ones included, as a
// read-only program would copy) it is replaced.
TEST_F(UninstallerAndShortcuts, TheUninstallerCopyReplacesAWholeFileOrFailsWithItsError) {
  std::vector<uint8_t> program, copy;
  ASSERT_TRUE(test::ReadFileBytes(RunningProgram(), program));
  TempDir dir;
  const std::wstring target = dir / L"uninstall.exe";
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  DWORD error = 0;
  EXPECT_FALSE(CopyUninstaller(dir.Path(), error));
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(FileExists(target + L".tmp"));

  ASSERT_TRUE(RemoveDirectoryW(target.c_str()));
  ASSERT_TRUE(test::WriteFileBytes(target, "old", 3));
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
  error = 0;
  EXPECT_FALSE(CopyUninstaller(dir.Path(), error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(test::FileSize(target), 3u);
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);

  ASSERT_TRUE(CopyUninstaller(dir.Path(), error)) << error;
  ASSERT_TRUE(test::ReadFileBytes(target, copy));
  EXPECT_TRUE(copy == program);
  EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_FALSE(FileExists(target + L".tmp"));
}

// For its lifetime, the programs folder of all users is named where nothing
// is (HKLM "User Shell Folders"), so that it no longer resolves; the value is
// put back at the end.
class CommonProgramsUnavailable {
 public:
  CommonProgramsUnavailable() {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS)
      return;
    DWORD size = sizeof(old_);
    if (RegQueryValueExW(key_, kValue, nullptr, &type_, reinterpret_cast<BYTE*>(old_), &size) != ERROR_SUCCESS) return;
    oldSize_ = size;
    const wchar_t missing[] = L"C:\\tf_no_such_folder\\Programs";
    active_ = RegSetValueExW(key_, kValue, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(missing), sizeof(missing)) ==
              ERROR_SUCCESS;
  }
  ~CommonProgramsUnavailable() {
    if (active_) RegSetValueExW(key_, kValue, 0, type_, reinterpret_cast<const BYTE*>(old_), oldSize_);
    if (key_) RegCloseKey(key_);
  }
  CommonProgramsUnavailable(const CommonProgramsUnavailable&) = delete;
  CommonProgramsUnavailable& operator=(const CommonProgramsUnavailable&) = delete;
  bool Active() const { return active_; }

 private:
  static constexpr wchar_t kShellFolders[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  static constexpr wchar_t kValue[] = L"Common Programs";
  HKEY key_ = nullptr;
  DWORD type_ = REG_NONE, oldSize_ = 0;
  wchar_t old_[MAX_PATH] = {};
  bool active_ = false;
};

TEST_F(UninstallerAndShortcuts, WithoutTheProgramsFolderOfAllUsersTheLinkGoesIntoTheAccountsOwn) {
  TempDir dir;
  {
    CommonProgramsUnavailable unavailable;
    ASSERT_TRUE(unavailable.Active());
    ASSERT_EQ(KnownFolderPath(FOLDERID_CommonPrograms), L"");
    EXPECT_TRUE(CreateShortcuts(dir.Path(), false, true).empty());
  }
  const std::wstring common = links_.commonPrograms.substr(0, links_.commonPrograms.rfind(L'\\'));
  ASSERT_EQ(KnownFolderPath(FOLDERID_CommonPrograms), common);  // put back
  EXPECT_FALSE(FileExists(links_.commonPrograms));
  ExpectLinkToGame(links_.programs, dir.Path());
}

}  // namespace
}  // namespace tf
