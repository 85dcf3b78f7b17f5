// The delayed clean-up command run by the real command processor.
#include "uninstall/cleanup_command.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <initializer_list>

#include "uninstall_test_support.h"
#include "win_gui.h"

namespace tf {
namespace {

using test::TempDir;

std::wstring SystemFolder() {
  wchar_t system[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system, n < MAX_PATH ? n : 0);
}

TEST(CleanupCommand, OnlyNamesWithoutExpansionOrEscapeCharactersAreLiteral) {
  struct Case {
    const wchar_t* name;
    bool literal;
  } cases[] = {
      {L"uninstall.exe", true}, {L"Tarnfell", true},   {L"Tarn fell", true}, {L"Spiele - Caf\u00e9 [1]", true},
      {L"a,b;c=d", true},       {L"100%", false},      {L"%OS%", false},     {L"a!b!", false},
      {L"a^b", false},          {L"a&b", false},       {L"a|b", false},      {L"a<b>", false},
      {L"Tarnfell (PC)", true}, {L"a\"b", false},      {L"a\tb", false},     {L"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLiteralName(c.name), c.literal) << test::Utf8(c.name);
}

// The working folder's path (the install folder's parent), which holds every
// character the command processor would act on, never reaches it: only the
// literal names do.
TEST(CleanupCommand, RemovesTheFileAndTheFolderWhereverTheFolderLies) {
  TempDir dir;
  wchar_t user[256] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"USERNAME", user, 256), 0u);
  const std::wstring hostile = L"p%USERNAME%&q ^!x!(1)";
  std::wstring expanded = hostile;
  expanded.replace(1, 10, user);
  const std::wstring parent = dir / hostile, decoy = dir / expanded;
  const std::wstring folder = parent + L"\\Tarn fell", file = folder + L"\\uninstall.exe";
  ASSERT_TRUE(CreateDirectoryW(parent.c_str(), nullptr) && CreateDirectoryW(decoy.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) && CreateDirectoryW((decoy + L"\\Tarn fell").c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(file, "x", 1) && test::WriteFileBytes(decoy + L"\\Tarn fell\\uninstall.exe", "x", 1));
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));  // del /f

  const std::wstring line = CleanupCommandLine(SystemFolder(), L"uninstall.exe", L"Tarn fell");
  ASSERT_TRUE(StartCleanupCommand(line, parent));
  EXPECT_TRUE(test::FileExists(file));  // not before the pause
  EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(folder); }, 30000));
  EXPECT_TRUE(test::FileExists(parent));
  EXPECT_EQ(test::ListTree(decoy), (std::vector<std::wstring>{L"Tarn fell\\", L"Tarn fell\\uninstall.exe"}));
  EXPECT_FALSE(StartCleanupCommand(line, L"\\\\server\\share\\Tarnfell"));
}

// The uninstaller's file can still be open for a moment after it has ended
// (by the system, a scanner): its deletion then waits for the last handle,
// and the folder, not yet empty, must still go once it is. The tries again run
// inside a parenthesised block, where a ")" in a quoted name must stay literal.
TEST(CleanupCommand, AFileDeletedWhileStillOpenDoesNotKeepTheFolder) {
  for (const wchar_t* name : {L"Tarnfell", L"Tarnfell (PC)"}) {
    SCOPED_TRACE(test::Utf8(name));
    TempDir dir;
    const std::wstring folder = dir / name, file = folder + L"\\uninstall.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) && test::WriteFileBytes(file, "x", 1));
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(StartCleanupCommand(CleanupCommandLine(SystemFolder(), L"uninstall.exe", name), dir.Path()));
    Sleep(4000);  // the pause, the deletion (it waits for this handle) and a first try at the folder
    EXPECT_TRUE(test::FileExists(folder));
    CloseHandle(held);
    EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(folder); }, 30000));
  }
}

// The command runs as administrator in the install folder's parent, and the
// folder and its parent may both be anyone's to write to. Programs planted
// there under the name "ping" never run. A saved game keeps the folder, so
// every try again runs too.
TEST(CleanupCommand, ProgramsPlantedAsPingNeverRun) {
  TempDir dir;
  const std::wstring parent = dir / L"Games", folder = parent + L"\\Tarnfell";
  ASSERT_TRUE(CreateDirectoryW(parent.c_str(), nullptr));
  test::MakeTree(folder, {L"uninstall.exe", L"_SAVES\\slot1.sav"});
  const std::wstring probe = test::FromUnixPath(TF_PLAY_PROBE_EXE);
  ASSERT_TRUE(test::PlantPings(folder, probe, false, true));
  ASSERT_TRUE(test::PlantPings(parent, probe, true, true));
  ASSERT_TRUE(StartCleanupCommand(CleanupCommandLine(SystemFolder(), L"uninstall.exe", L"Tarnfell"), parent));
  const std::vector<DWORD> commands = test::ProcessesStartedBy(GetCurrentProcessId(), L"cmd.exe");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_TRUE(test::WaitForProcessEnd(commands[0], 90000, [] {}));
  EXPECT_FALSE(test::FileExists(folder + L"\\uninstall.exe")) << "the command ran";
  EXPECT_FALSE(test::PlantedPingRan(folder));
  EXPECT_FALSE(test::PlantedPingRan(parent));
}

// The command processor's environment: the inherited block with one variable
// set, in the order of the names, case aside.
TEST(CleanupCommand, OneVariableSetInAnEnvironmentBlock) {
  auto block = [](std::initializer_list<const wchar_t*> entries) {
    std::vector<wchar_t> b;
    for (const wchar_t* e : entries) b.insert(b.end(), e, e + wcslen(e) + 1);
    b.push_back(L'\0');
    return b;
  };
  const struct {
    const char* what;
    std::vector<wchar_t> before, after;
  } cases[] = {
      {"between two names", block({L"=C:=C:\\x", L"ALLUSERSPROFILE=C:\\p", L"PATH=C:\\w"}),
       block({L"=C:=C:\\x", L"ALLUSERSPROFILE=C:\\p", L"NoDefaultCurrentDirectoryInExePath=1", L"PATH=C:\\w"})},
      {"replacing the same name in other case", block({L"A=1", L"NODEFAULTCURRENTDIRECTORYINEXEPATH=", L"Z=2"}),
       block({L"A=1", L"NoDefaultCurrentDirectoryInExePath=1", L"Z=2"})},
      {"after every name", block({L"A=1", L"B=2"}), block({L"A=1", L"B=2", L"NoDefaultCurrentDirectoryInExePath=1"})},
      {"before every name", block({L"windir=C:\\w"}),
       block({L"NoDefaultCurrentDirectoryInExePath=1", L"windir=C:\\w"})},
      {"an empty block", block({}), block({L"NoDefaultCurrentDirectoryInExePath=1"})},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EnvironmentWith(c.before.data(), L"NoDefaultCurrentDirectoryInExePath", L"1"), c.after) << c.what;
}

}  // namespace
}  // namespace tf
