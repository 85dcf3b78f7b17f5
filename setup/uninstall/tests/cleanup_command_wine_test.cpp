// The delayed clean-up command run by the real command processor.
#include "uninstall/cleanup_command.h"

#include <gtest/gtest.h>

#include "uninstall_test_support.h"
#include "win_gui.h"

namespace tf {
namespace {

using test::TempDir;

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

// The working folder's path, which holds every character the command
// processor would act on, never reaches it: only the literal names do.
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

  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring line = CleanupCommandLine(std::wstring(system) + L"\\cmd.exe", L"uninstall.exe", L"Tarn fell");
  ASSERT_TRUE(StartCleanupCommand(line, folder));
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

    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(
        StartCleanupCommand(CleanupCommandLine(std::wstring(system) + L"\\cmd.exe", L"uninstall.exe", name), folder));
    Sleep(4000);  // the pause, the deletion (it waits for this handle) and a first try at the folder
    EXPECT_TRUE(test::FileExists(folder));
    CloseHandle(held);
    EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(folder); }, 30000));
  }
}

}  // namespace
}  // namespace tf
