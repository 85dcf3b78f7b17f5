#include "shell/command_line.h"

#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(SelectMode, FileNameAndSwitches) {
  struct Case {
    const wchar_t* program;
    const wchar_t* tail;
    SetupMode expected;
  } cases[] = {
      {L"C:\\Setup\\tf_setup.exe", L"", SetupMode::Interactive},
      {L"C:\\Setup\\tf_setup.exe", L"/android", SetupMode::Interactive},
      {L"C:\\Setup\\tf_setup.exe", L"/silent a b", SetupMode::Silent},
      {L"C:\\Setup\\tf_setup.exe", L"/Uninstall", SetupMode::Uninstall},
      {L"C:\\Setup\\tf_setup.exe", L"/uninstall /silent a b", SetupMode::Silent},
      {L"C:\\Games\\Tarnfell\\UNINSTALL.EXE", L"", SetupMode::Uninstall},
      {L"C:\\Games\\Tarnfell\\uninstall.exe", L"/silent a b", SetupMode::Silent},
      {L"uninstall.exe", L"", SetupMode::Uninstall},
      {L"C:\\x\\my_uninstall.exe", L"", SetupMode::Interactive},
      {L"C:\\uninstall.exe\\tf_setup.exe", L"", SetupMode::Interactive},
  };
  for (const Case& c : cases) EXPECT_EQ(SelectMode(c.program, c.tail), c.expected) << c.program << L" " << c.tail;
}

TEST(FindSilentArguments, TakesTheTwoArgumentsAfterTheFirstSilent) {
  struct Case {
    std::vector<std::wstring> args;
    std::wstring image, folder;
  } cases[] = {
      {{L"tf_setup.exe", L"/silent", L"D:\\a.iso", L"C:\\Games\\Tarnfell"}, L"D:\\a.iso", L"C:\\Games\\Tarnfell"},
      {{L"tf_setup.exe", L"/SILENT", L"D:\\a.iso", L"C:\\T", L"/android"}, L"D:\\a.iso", L"C:\\T"},
      {{L"tf_setup.exe", L"/android", L"/Silent", L"a", L"b"}, L"a", L"b"},
      {{L"tf_setup.exe", L"/silent", L"D:\\a.iso"}, L"", L""},  // one argument only
      {{L"tf_setup.exe", L"x", L"/silent"}, L"", L""},          // last argument never examined
      {{L"tf_setup.exe", L"/silent"}, L"", L""},
      {{L"tf_setup.exe", L"/silentx", L"D:\\a.iso", L"C:\\X"}, L"", L""},
      {{L"tf_setup.exe", L"/silent", L"/silent", L"b"}, L"/silent", L"b"},
      {{L"tf_setup.exe", L"/silent", L"", L"C:\\X"}, L"", L"C:\\X"},  // empty path: incomplete
  };
  for (const Case& c : cases) {
    SilentArguments s = FindSilentArguments(c.args);
    EXPECT_EQ(s.discImagePath, c.image);
    EXPECT_EQ(s.installFolder, c.folder);
    EXPECT_EQ(s.Complete(), !c.image.empty() && !c.folder.empty());
  }
}

}  // namespace
}  // namespace tf
