// A dialog that cannot be created is said, not passed over: both dialog
// runners, called from this program, whose module holds no dialog template.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "shell/install_dialog.h"
#include "uninstall/run_uninstall.h"
#include "uninstall_test_support.h"
#include "win_gui.h"

namespace tf {
namespace {

// Runs `runner` on a thread of its own and answers the message box it shows.
struct Outcome {
  int result = -100;
  std::wstring text;
};
Outcome RunAndAnswer(const std::function<int()>& runner) {
  Outcome outcome;
  std::thread thread([&] { outcome.result = runner(); });
  test::SeenMessageBox box = test::WaitForMessageBox(GetCurrentProcessId(), L"Tarnfell", 30000);
  if (box.box) {
    outcome.text = box.text;
    test::AnswerMessageBox(box.box, IDOK);
  }
  thread.join();
  return outcome;
}

// The code the system gives for this program's missing template.
DWORD MissingTemplateError(WORD id) {
  SetLastError(0);
  EXPECT_EQ(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)), nullptr);
  return GetLastError();
}

TEST(DialogFailure, TheInstallDialogSaysSoWithTheErrorAndEndsWithOne) {
  const DWORD error = MissingTemplateError(200);
  ASSERT_NE(error, 0u);
  InstallSession session;
  const Outcome o = RunAndAnswer([&] { return RunInstallDialog(session); });
  EXPECT_EQ(o.text, L"The install window could not be opened (error " + std::to_wstring(error) + L").");
  EXPECT_EQ(o.result, 1);
}

TEST(DialogFailure, TheUninstallDialogSaysSoWithTheErrorChangesNothingAndEndsWithOne) {
  const DWORD error = MissingTemplateError(220);
  ASSERT_NE(error, 0u);
  test::PrivateTempDir dir;
  const std::wstring folder = dir / L"Tarnfell";
  test::MakeTree(folder, {L"tf_hybrid.dll", L"default.xbe", L"GFX\\x.bin", L"uninstall.exe"});
  const std::vector<std::wstring> before = test::ListTree(folder);
  const Outcome o = RunAndAnswer(
      [&] { return RunUninstallMode(folder + L"\\uninstall.exe", L"/uninstall", GetModuleHandleW(nullptr)); });
  EXPECT_EQ(o.text, L"The uninstall window could not be opened (error " + std::to_wstring(error) + L").");
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(test::ListTree(folder), before);
  EXPECT_EQ(test::ReadText(dir / L"tf_uninstall.log"), "");
}

}  // namespace
}  // namespace tf
