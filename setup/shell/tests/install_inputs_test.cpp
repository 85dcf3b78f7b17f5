#include "shell/install_inputs.h"

#include <gtest/gtest.h>

#include <set>

namespace tf {
namespace {

TEST(CheckInstallInputs, RefusesWhatCannotBeInstalledAsTyped) {
  const std::wstring fits(kMaxFieldChars - 3, L'a');  // with "C:\" exactly kMaxFieldChars
  const std::set<std::wstring> onDisk = {L"D:\\Tarnfell.iso", L"D:\\Games", L"C:\\" + fits};
  auto exists = [&](const std::wstring& p) { return onDisk.count(p) != 0; };
  struct Case {
    std::wstring disc, folder;
    InputVerdict verdict;
  } cases[] = {
      {L"", L"C:\\Games\\Tarnfell", InputVerdict::ChooseDisc},
      {L"D:\\missing.iso", L"C:\\Games\\Tarnfell", InputVerdict::ChooseDisc},
      {L"D:\\Games", L"C:\\Games\\Tarnfell", InputVerdict::Start},  // a folder passes; the pipeline refuses it
      {L"D:\\Tarnfell.iso", L"Games", InputVerdict::ChooseFolder},
      {L"D:\\Tarnfell.iso", L"C:", InputVerdict::ChooseFolder},
      {L"D:\\Tarnfell.iso", L"\\\\server\\share\\x", InputVerdict::ChooseFolder},
      {L"D:\\Tarnfell.iso", L"", InputVerdict::ChooseFolder},
      {L"D:\\Tarnfell.iso", L"C:\\x", InputVerdict::Start},
      // Drive-relative: where it lands depends on that drive's current folder.
      {L"D:\\Tarnfell.iso", L"Q:anything", InputVerdict::ChooseFolder},
      {L"D:\\Tarnfell.iso", L"C:Games\\X", InputVerdict::ChooseFolder},
      {L"D:\\Tarnfell.iso", L"C:/Games/X", InputVerdict::Start},
      {L"D:\\Tarnfell.iso", L"1:\\x", InputVerdict::Start},  // the first character need not be a letter
      // The longest paths a MAX_PATH buffer holds pass; one character more is refused, not cut.
      {L"C:\\" + fits, L"C:\\" + fits, InputVerdict::Start},
      {L"C:\\" + fits + L"a", L"C:\\Games\\Tarnfell", InputVerdict::ChooseDisc},
      {L"D:\\Tarnfell.iso", L"C:\\" + fits + L"a", InputVerdict::ChooseFolder},
  };
  for (const Case& c : cases) {
    std::string what(c.disc.begin(), c.disc.end());
    what += " | " + std::string(c.folder.begin(), c.folder.end());
    EXPECT_EQ(CheckInstallInputs(c.disc, c.folder, exists), c.verdict) << what.substr(0, 80);
  }
}

TEST(DefaultInstallFolder, FirstProgramFilesFolderThatResolves) {
  EXPECT_EQ(DefaultInstallFolder(L"C:\\Program Files (x86)", L"C:\\Program Files"),
            L"C:\\Program Files (x86)\\Tarnfell");
  EXPECT_EQ(DefaultInstallFolder(L"", L"C:\\Program Files"), L"C:\\Program Files\\Tarnfell");
  EXPECT_EQ(DefaultInstallFolder(L"", L""), L"\\Tarnfell");
}

}  // namespace
}  // namespace tf
