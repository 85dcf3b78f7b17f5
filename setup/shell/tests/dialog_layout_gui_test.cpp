// Dialogs 200 and 220 from the resources of the installer built for this
// width, run by their own dialog procedures in this process, and measured
// with their fonts: what they draw at the prefix's DPI.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_layout.h"
#include "resources/install_dialog_ids.h"
#include "resources/uninstall_dialog_ids.h"
#include "shell/install_dialog.h"
#include "uninstall/run_uninstall.h"
#include "uninstall/uninstall_dialog.h"
#include "win_test_support.h"

namespace tf {
namespace {

// The program's dialogs need its control classes (the progress bar).
const bool kControls = [] {
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  return InitCommonControlsEx(&classes) != FALSE;
}();

std::wstring SetupProgram() { return test::FromUnixPath(TF_SETUP_EXE); }

// The states the two dialog procedures are given.
struct DialogStates {
  void* Of(int dialogId) { return dialogId == IDD_INSTALL ? static_cast<void*>(&install) : &uninstall; }

  InstallSession session;
  InstallDialogState install{session};
  UninstallState uninstall;
};

std::string Lines(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

TEST(DialogLayout, UninstallTextMakesRoomForAnyFolderAndNothingOverlaps) {
  ASSERT_TRUE(kControls);
  struct Case {
    const char* what;
    std::wstring folder;
  } cases[] = {
      {"the usual folder", L"C:\\Program Files (x86)\\Tarnfell"},
      {"a long folder with blanks",
       L"C:\\Games\\A rather long folder name for the games of this household\\Tarnfell PC port installed from the "
       L"family disc"},
      {"a folder of 259 characters without blanks", L"D:\\" + std::wstring(256, L'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DialogStates states;
    states.uninstall.uninstallFolder = c.folder;
    test::ProgramDialog dialog(SetupProgram(), IDD_UNINSTALL, UninstallDialogProc, states.Of(IDD_UNINSTALL));
    ASSERT_TRUE(dialog.Window());
    EXPECT_EQ(Lines(test::LayoutProblems(dialog.Window())), "");
  }
}

TEST(DialogLayout, InstallDialogHoldsItsTextsAndATwoLineStatus) {
  ASSERT_TRUE(kControls);
  const std::wstring statuses[] = {
      L"",
      L"Note: this image does not exactly match a retail disc; continuing\u2026",
      L"Copying game files from the disc image\u2026  AUDSoundFX\\ARENAS\\KITCHEN\\KITCHEN_AMBIENCE_LOOP.WMA",
  };
  for (const std::wstring& status : statuses) {
    SCOPED_TRACE(test::Utf8(status));
    DialogStates states;
    test::ProgramDialog dialog(SetupProgram(), IDD_INSTALL, InstallDialogProc, states.Of(IDD_INSTALL));
    ASSERT_TRUE(dialog.Window());
    SetDlgItemTextW(dialog.Window(), IDC_STATUS, status.c_str());
    EXPECT_EQ(Lines(test::LayoutProblems(dialog.Window())), "");
  }
}

// A "&" in a folder or file name is drawn, not taken for an accelerator: the
// text with it reaches further right than the text without it.
TEST(DialogLayout, TextsThatNameFoldersShowTheirAmpersands) {
  ASSERT_TRUE(kControls);
  DialogStates states;
  states.uninstall.uninstallFolder = L"C:\\Games\\Tarnfell";
  struct Case {
    int dialogId;
    DLGPROC procedure;
    int textId;
  } cases[] = {
      {IDD_INSTALL, InstallDialogProc, IDC_STATUS},
      {IDD_UNINSTALL, UninstallDialogProc, IDC_UNINSTALL_TEXT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("dialog " + std::to_string(c.dialogId));
    test::ProgramDialog dialog(SetupProgram(), c.dialogId, c.procedure, states.Of(c.dialogId));
    ASSERT_TRUE(dialog.Window());
    HWND text = GetDlgItem(dialog.Window(), c.textId);
    SetWindowTextW(text, L"C:\\Games\\RD");
    const int without = test::InkRight(text);
    SetWindowTextW(text, L"C:\\Games\\R&D");
    const int with = test::InkRight(text);
    ASSERT_GT(without, 0) << "the text drew nothing";
    EXPECT_GT(with, without + 2) << "the \"&\" was not drawn";
  }
}

}  // namespace
}  // namespace tf
