// Dialog 220 in a real window: uninstall.exe started from the install folder
// and driven through window messages, as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>

#include "progress_probe.h"
#include "resources/uninstall_dialog_ids.h"
#include "common/win32_handle.h"
#include "uninstall_e2e_support.h"
#include "win_gui.h"

namespace tf {
namespace {

using test::ListTree;
using List = std::vector<std::wstring>;

constexpr DWORD kWindowWaitMs = 60000;
constexpr wchar_t kTitle[] = L"Uninstall Tarnfell";

// An install laid out with saves, its registry entry, shortcuts and the
// per-user folder; the uninstaller started from it and `drive` run on its dialog.
struct DialogRun {
  test::PrivateTempDir dir{L"tmp"};
  std::wstring temp = dir.Temp(), folder = dir / L"Games\\Tarnfell";
  std::unique_ptr<test::UninstallKey> key;
  test::Shortcuts shortcuts;
  test::UserFolder user;
  List installed;
  std::wstring dialogText;
  test::ProcessResult result;

  DialogRun() {
    CreateDirectoryW((dir / L"Games").c_str(), nullptr);
    test::LayOutInstall(folder, true);
    key = std::make_unique<test::UninstallKey>(folder);
    installed = ListTree(folder);
  }

  void Run(const std::function<void(DWORD pid, HWND dialog)>& drive) {
    result = test::RunPrograms({{folder + L"\\uninstall.exe", L"", L"", false}}, 180000, [&](size_t, DWORD pid) {
      HWND dialog = test::WaitForTopWindow(pid, L"#32770", kTitle, kWindowWaitMs);
      if (!dialog) {
        ADD_FAILURE() << "dialog 220 did not appear";
        return;
      }
      dialogText = test::ControlText(dialog, IDC_UNINSTALL_TEXT);
      drive(pid, dialog);
    })[0];
  }

  bool NothingRemoved() const {
    return ListTree(folder) == installed && shortcuts.Present() == shortcuts.Count() &&
           test::UninstallEntryExists(KEY_WOW64_64KEY) && user.Intact();
  }
};

TEST(UninstallDialog, ShowsTheFolderAndEndsWithoutChangesOnCancelEscapeAndTheCloseBox) {
  const struct {
    const char* how;
    std::function<void(HWND)> close;
  } ways[] = {
      {"Cancel", [](HWND d) { test::PressButton(d, IDCANCEL); }},
      {"Escape", [](HWND d) { test::SendCommand(d, IDCANCEL); }},
      {"close box", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    DialogRun run;
    std::wstring saves;
    LRESULT range = 0;
    run.Run([&](DWORD, HWND dialog) {
      saves = test::ControlText(dialog, IDC_UNINSTALL_ALSO_SAVES);
      EXPECT_FALSE(test::IsChecked(dialog, IDC_UNINSTALL_ALSO_SAVES));
      EXPECT_EQ(test::ProgressPosition(dialog, IDC_UNINSTALL_PROGRESS), 0);
      DWORD_PTR high = 0;
      SendMessageTimeoutW(GetDlgItem(dialog, IDC_UNINSTALL_PROGRESS), PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 5000,
                          &high);
      range = static_cast<LRESULT>(high);
      way.close(dialog);
    });
    EXPECT_EQ(run.dialogText, L"Tarnfell will be removed from:\n" + run.folder +
                                  L"\n\nYour saved games are kept unless you tick the box below.");
    EXPECT_EQ(saves, L"Also delete my &saved games and settings");
    EXPECT_EQ(range, 100);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitCode, 1u);
    EXPECT_TRUE(run.NothingRemoved());
    EXPECT_EQ(test::LogOf(run.temp), "");
  }
}

TEST(UninstallDialog, UninstallKeepsTheSavesAndMovesTheBarThrough40_55_70And100) {
  DialogRun run;
  std::vector<int> positions;
  bool hooked = false;
  run.Run([&](DWORD pid, HWND dialog) {
    test::ProgressProbe probe(pid, dialog, IDC_UNINSTALL_PROGRESS, test::FromUnixPath(TF_PROGRESS_PROBE_DLL));
    hooked = probe.Active();
    test::PressButton(dialog, IDOK);
    test::WaitUntil([&] { return !IsWindow(dialog); }, kWindowWaitMs);
    positions = probe.Positions();
  });
  ASSERT_TRUE(hooked);
  EXPECT_EQ(positions, (std::vector<int>{40, 55, 70, 100}));
  EXPECT_EQ(run.result.exitCode, 0u);
  EXPECT_EQ(run.shortcuts.Present(), 0u);
  EXPECT_FALSE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_TRUE(run.user.Intact());
  EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(run.folder + L"\\uninstall.exe"); }, 30000));
  EXPECT_EQ(test::ListingAfterCleanUp(run.folder, test::SavesOnly()), test::SavesOnly());
  EXPECT_EQ(test::LogOf(run.temp), "--- uninstall: dir=\"" + test::Utf8(run.folder) +
                                       "\" alsoSaves=0\r\n    tree deleted; dir still present = 1\r\n");
}

// The folder loses a marker while the dialog is up: the removal's own guard
// refuses it before anything goes (shortcuts, entry, per-user folder, the
// uninstaller's file), says so and ends with exit code 1.
TEST(UninstallDialog, AFolderThatStoppedBeingAnInstallFolderIsLeftAlone) {
  DialogRun run;
  const std::wstring marker = run.folder + L"\\tf_hybrid.dll";
  std::wstring told;
  run.Run([&](DWORD pid, HWND dialog) {
    ASSERT_TRUE(DeleteFileW(marker.c_str()));
    test::PressButton(dialog, IDOK);
    test::SeenMessageBox box = test::WaitForMessageBox(pid, L"Tarnfell", kWindowWaitMs, dialog);
    told = box.text;
    if (box.box) test::AnswerMessageBox(box.box, IDOK);
    test::WaitUntil([&] { return !IsWindow(dialog); }, kWindowWaitMs);
  });
  EXPECT_EQ(told,
            L"This uninstaller could not find the installed game.\n\nNothing has been changed. Run the uninstaller "
            L"from inside the game's own folder, or use Settings > Apps.");
  EXPECT_EQ(run.result.exitCode, 1u);
  EXPECT_EQ(test::LogOf(run.temp), "--- uninstall: dir=\"" + test::Utf8(run.folder) + "\" alsoSaves=0\r\n    REFUSED to delete \"" +
                                       test::Utf8(run.folder) + "\" -- not an install folder\r\n");
  List expected = run.installed;
  expected.erase(std::find(expected.begin(), expected.end(), L"tf_hybrid.dll"));
  // Longer than the pause of a clean-up command: none was started.
  EXPECT_FALSE(test::WaitUntil([&] { return ListTree(run.folder) != expected; }, 6000));
  EXPECT_EQ(ListTree(run.folder), expected);
  EXPECT_EQ(run.shortcuts.Present(), run.shortcuts.Count());
  EXPECT_TRUE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_TRUE(run.user.Intact());
}

// A game file in use: the player is told, nothing goes, and the dialog stays
// for another try, which then removes the game.
TEST(UninstallDialog, AFileInUseIsToldAndTheDialogStaysForAnotherTry) {
  DialogRun run;
  std::wstring told;
  bool stayed = false, nothingRemoved = false;
  run.Run([&](DWORD pid, HWND dialog) {
    UniqueFile held(CreateFileW((run.folder + L"\\Tarnfell.exe").c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    test::PressButton(dialog, IDOK);
    test::SeenMessageBox box = test::WaitForMessageBox(pid, L"Tarnfell", kWindowWaitMs, dialog);
    ASSERT_TRUE(box.box);
    told = box.text;
    test::AnswerMessageBox(box.box, IDOK);
    test::WaitUntil([&] { return test::IsControlEnabled(dialog, IDOK); }, kWindowWaitMs);
    stayed = IsWindowVisible(dialog) && test::IsControlEnabled(dialog, IDOK) && test::IsControlEnabled(dialog, IDCANCEL);
    nothingRemoved = run.NothingRemoved();
    held.Reset();
    test::PressButton(dialog, IDOK);
    test::WaitUntil([&] { return !IsWindow(dialog); }, kWindowWaitMs);
  });
  EXPECT_EQ(told, L"Tarnfell or one of its files is in use. Close the game and try again.");
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(nothingRemoved);
  EXPECT_EQ(run.result.exitCode, 0u);
  EXPECT_FALSE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(run.folder + L"\\uninstall.exe"); }, 30000));
  EXPECT_EQ(test::ListingAfterCleanUp(run.folder, test::SavesOnly()), test::SavesOnly());
}

TEST(UninstallDialog, DeletingTheSavesTooIsConfirmedFirst) {
  DialogRun run;
  std::wstring question;
  bool stayedAfterNo = false, nothingAfterNo = false;
  std::vector<int> positionsAfterNo, positions;
  run.Run([&](DWORD pid, HWND dialog) {
    test::ProgressProbe probe(pid, dialog, IDC_UNINSTALL_PROGRESS, test::FromUnixPath(TF_PROGRESS_PROBE_DLL));
    test::PressButton(dialog, IDC_UNINSTALL_ALSO_SAVES);
    ASSERT_TRUE(test::WaitUntil([&] { return test::IsChecked(dialog, IDC_UNINSTALL_ALSO_SAVES); }, 10000));

    test::PressButton(dialog, IDOK);
    test::SeenMessageBox box = test::WaitForMessageBox(pid, L"Tarnfell", kWindowWaitMs, dialog);
    ASSERT_TRUE(box.box);
    question = box.text;
    test::AnswerMessageBox(box.box, IDNO);
    Sleep(500);
    stayedAfterNo = IsWindowVisible(dialog) && test::IsControlEnabled(dialog, IDOK) &&
                    test::IsControlEnabled(dialog, IDCANCEL);
    nothingAfterNo = run.NothingRemoved();
    positionsAfterNo = probe.Positions();

    test::PressButton(dialog, IDOK);
    box = test::WaitForMessageBox(pid, L"Tarnfell", kWindowWaitMs, dialog);
    ASSERT_TRUE(box.box);
    test::AnswerMessageBox(box.box, IDYES);
    test::WaitUntil([&] { return !IsWindow(dialog); }, kWindowWaitMs);
    positions = probe.Positions();
  });
  EXPECT_EQ(question, L"Your saved games will be permanently deleted. Continue?");
  EXPECT_TRUE(stayedAfterNo);
  EXPECT_TRUE(nothingAfterNo);
  EXPECT_TRUE(positionsAfterNo.empty());
  EXPECT_EQ(positions, (std::vector<int>{40, 55, 70, 100}));
  EXPECT_EQ(run.result.exitCode, 0u);
  EXPECT_TRUE(run.user.Gone());
  EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(run.folder); }, 30000)) << ListTree(run.folder).size();
  EXPECT_FALSE(test::HoldsParkedCopy(run.dir / L"Games"));
  EXPECT_EQ(test::LogOf(run.temp), "--- uninstall: dir=\"" + test::Utf8(run.folder) +
                                       "\" alsoSaves=1\r\n    tree deleted; dir still present = 1\r\n");
}

}  // namespace
}  // namespace tf
