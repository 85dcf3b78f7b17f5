// The install dialog in a real window: the 64-bit tf_setup started without
// switches and driven through window messages, as a user would drive it,
// checking what the user sees. Its installs register in the 64-bit view.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "common/known_folders.h"
#include "discgen.h"
#include "resources/install_dialog_ids.h"
#include "uninstall_entry.h"
#include "progress_probe.h"
#include "win_gui.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::ControlText;
using test::IsControlEnabled;
using test::TempDir;

const wchar_t kChooseDisc[] = L"Choose your disc image first.";
const wchar_t kChooseFolder[] = L"Choose a full path to install to, for example C:\\Program Files (x86)\\Tarnfell.";
const wchar_t kCopying[] = L"Copying game files from the disc image\u2026  ";
const int kInputs[] = {IDC_DISC_PATH,        IDC_DISC_BROWSE,         IDC_FOLDER_PATH,   IDC_FOLDER_BROWSE,
                       IDC_DESKTOP_SHORTCUT, IDC_START_MENU_SHORTCUT, IDC_BUILD_ANDROID, IDC_INSTALL};

// Without a window manager every message box would take seconds to go.
const ::testing::Environment* const kUnmanaged = ::testing::AddGlobalTestEnvironment([] {
  struct Unmanaged : ::testing::Environment {
    void SetUp() override { windows = std::make_unique<test::UnmanagedWindows>(L"tf_setup.exe"); }
    void TearDown() override { windows.reset(); }
    std::unique_ptr<test::UnmanagedWindows> windows;
  };
  return new Unmanaged;
}());

bool MakeDisc(const std::wstring& path, const discgen::GameOptions& options) {
  std::string error;
  return discgen::WriteGameImage(options, std::filesystem::path(path), error);
}

// Waits for the program to end by itself, else ends it (a test that stopped early).
void EndWithin(DWORD processId, DWORD timeoutMs) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
  if (!process) return;
  if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "tf_setup was still running; ended";
    TerminateProcess(process, 999);
  }
  CloseHandle(process);
}

// Starts tf_setup without switches and hands its dialog to `drive`.
test::ProcessResult RunDialog(const std::function<void(DWORD processId, HWND dialog)>& drive) {
  const std::wstring setup = test::FromUnixPath(TF_SETUP_EXE);
  return test::RunPrograms({{setup, L"", L"", false}}, 600000, [&](size_t, DWORD processId) {
    HWND dialog = test::WaitForTopWindow(processId, L"#32770", L"Install Tarnfell", 60000);
    if (dialog)
      drive(processId, dialog);
    else
      ADD_FAILURE() << "no window titled Install Tarnfell";
    EndWithin(processId, 30000);
  })[0];
}

// Presses Install and expects an information box with this text; answers it.
void ExpectRefusal(DWORD processId, HWND dialog, const std::wstring& disc, const std::wstring& folder,
                   const wchar_t* message) {
  test::SetControlText(dialog, IDC_DISC_PATH, disc);
  test::SetControlText(dialog, IDC_FOLDER_PATH, folder);
  test::PressButton(dialog, IDC_INSTALL);
  test::SeenMessageBox box = test::WaitForMessageBox(processId, L"Tarnfell", 30000);
  ASSERT_TRUE(box.box) << "no message box";
  EXPECT_EQ(box.text, message);
  EXPECT_TRUE(test::AnswerMessageBox(box.box, IDOK));
  EXPECT_TRUE(IsControlEnabled(dialog, IDC_INSTALL)) << "an install was started";
  EXPECT_EQ(ControlText(dialog, IDC_STATUS), L"");
}

// The dialog changes them once the box that came before is answered: waits a little for the change.
void ExpectInputsEnabled(HWND dialog, bool enabled) {
  test::WaitUntil([&] { return IsControlEnabled(dialog, IDC_INSTALL) == enabled; }, 5000);
  for (int id : kInputs) EXPECT_EQ(IsControlEnabled(dialog, id), enabled) << "control " << id;
  EXPECT_TRUE(IsControlEnabled(dialog, IDCANCEL));
}

// Answers the shell's file dialog of that title: types the path into its file
// name field (id 1152 in Wine's dialog) and presses Open, or presses Cancel
// when the path is empty.
bool AnswerFileDialog(DWORD processId, const std::wstring& title, const std::wstring& path) {
  HWND picker = test::WaitForTopWindow(processId, L"#32770", title, 30000);
  if (!picker) return false;
  const int button = path.empty() ? IDCANCEL : IDOK;
  if (!path.empty()) test::SetControlText(picker, 1152, path);
  PostMessageW(picker, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(picker, button)));
  return test::WaitUntil([&] { return !IsWindow(picker) || !IsWindowVisible(picker); }, 10000);
}

std::vector<int> TabOrder(HWND dialog) {
  std::vector<int> ids;
  HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
  for (HWND c = first; c && ids.size() < 20;) {
    ids.push_back(GetDlgCtrlID(c));
    c = GetNextDlgTabItem(dialog, c, FALSE);
    if (c == first) break;
  }
  return ids;
}

TEST(InstallDialog, ShowsItsDefaultsFillsFieldsFromBrowseAndRefusesWhatItCannotInstall) {
  TempDir dir;
  const std::wstring disc = dir / L"Tarnfell.iso";
  ASSERT_TRUE(MakeDisc(disc, discgen::GameOptions()));
  // Paths one character longer than a MAX_PATH buffer holds whose first 259
  // characters name a real disc image and a folder that could be made: cut,
  // they would be installed from and to.
  const size_t kFits = 259;
  ASSERT_LT(dir.Path().size() + 10, kFits);
  const std::wstring cutDisc = dir.Path() + L"\\" + std::wstring(kFits - dir.Path().size() - 1, L'd');
  ASSERT_EQ(cutDisc.size(), kFits);
  ASSERT_TRUE(CopyFileW(disc.c_str(), cutDisc.c_str(), FALSE));
  const std::wstring longFolder = dir.Path() + L"\\" + std::wstring(300, L'f');
  const std::wstring defaultFolder = KnownFolderPath(FOLDERID_ProgramFilesX86) + L"\\Tarnfell";

  test::ProcessResult r = RunDialog([&](DWORD pid, HWND dialog) {
    EXPECT_EQ(ControlText(dialog, IDC_FOLDER_PATH), defaultFolder);
    EXPECT_EQ(ControlText(dialog, IDC_DISC_PATH), L"");
    EXPECT_EQ(ControlText(dialog, IDC_STATUS), L"");
    EXPECT_EQ(test::ProgressPosition(dialog, IDC_PROGRESS), 0);
    EXPECT_TRUE(test::IsChecked(dialog, IDC_DESKTOP_SHORTCUT));
    EXPECT_TRUE(test::IsChecked(dialog, IDC_START_MENU_SHORTCUT));
    EXPECT_FALSE(test::IsChecked(dialog, IDC_BUILD_ANDROID));
    ExpectInputsEnabled(dialog, true);
    struct Text {
      int id;
      const wchar_t* text;
    } texts[] = {
        {IDC_INTRO, L"This installs the PC port. It contains no game data: choose your own disc image below, and the "
                    L"game files are extracted from it."},
        {IDC_DISC_LABEL, L"Disc image (.iso):"},
        {IDC_DISC_BROWSE, L"Browse..."},
        {IDC_FOLDER_LABEL, L"Install to:"},
        {IDC_FOLDER_BROWSE, L"Browse..."},
        {IDC_DESKTOP_SHORTCUT, L"Create a &Desktop shortcut"},
        {IDC_START_MENU_SHORTCUT, L"Add to the &Start menu"},
        {IDC_BUILD_ANDROID, L"Also build an &Android app (one .apk, side-load and play)"},
        {IDC_INSTALL, L"&Install"},
        {IDCANCEL, L"Cancel"},
    };
    for (const Text& t : texts) EXPECT_EQ(ControlText(dialog, t.id), t.text) << "control " << t.id;
    EXPECT_EQ(TabOrder(dialog), (std::vector<int>{IDC_DISC_PATH, IDC_DISC_BROWSE, IDC_FOLDER_PATH, IDC_FOLDER_BROWSE,
                                                  IDC_DESKTOP_SHORTCUT, IDC_START_MENU_SHORTCUT, IDC_BUILD_ANDROID,
                                                  IDC_INSTALL, IDCANCEL}));

    // Browse: a file for the image; a folder, to which the game's folder name is added.
    test::PressButton(dialog, IDC_DISC_BROWSE);
    EXPECT_TRUE(AnswerFileDialog(pid, L"Choose your Tarnfell disc image", disc));
    EXPECT_TRUE(test::WaitUntil([&] { return ControlText(dialog, IDC_DISC_PATH) == disc; }, 5000));
    struct Pick {
      std::wstring folder, field;
    } picks[] = {{dir.Path(), dir / L"Tarnfell"}, {L"C:\\", L"C:\\\\Tarnfell"}, {L"", L"C:\\\\Tarnfell"}};
    for (const Pick& p : picks) {
      SCOPED_TRACE(test::Utf8(p.folder.empty() ? L"(cancelled)" : p.folder));
      test::PressButton(dialog, IDC_FOLDER_BROWSE);
      EXPECT_TRUE(AnswerFileDialog(pid, L"Choose where to install the game", p.folder));
      EXPECT_TRUE(test::WaitUntil([&] { return ControlText(dialog, IDC_FOLDER_PATH) == p.field; }, 5000))
          << test::Utf8(ControlText(dialog, IDC_FOLDER_PATH));
    }

    struct Refusal {
      const char* what;
      std::wstring disc, folder;
      const wchar_t* message;
    } refusals[] = {
        {"no disc image", L"", defaultFolder, kChooseDisc},
        {"a missing disc image", dir / L"missing.iso", defaultFolder, kChooseDisc},
        {"a disc image path too long to keep", cutDisc + L"x", defaultFolder, kChooseDisc},
        {"a relative folder", disc, L"Games", kChooseFolder},
        {"a drive alone", disc, L"C:", kChooseFolder},
        {"a network folder", disc, L"\\\\server\\share\\x", kChooseFolder},
        {"a folder too long to keep", disc, longFolder, kChooseFolder},
    };
    for (const Refusal& c : refusals) {
      SCOPED_TRACE(c.what);
      ExpectRefusal(pid, dialog, c.disc, c.folder, c.message);
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);  // the close button while idle ends the dialog
  });
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_FALSE(test::FileExists(longFolder.substr(0, kFits)));
  EXPECT_FALSE(test::FileExists(longFolder.substr(0, kFits) + L"\\uninstall.exe"));
}

struct Sample {
  int position;
  std::wstring status;
};

// Progress and status line, sampled until a message box comes up.
test::SeenMessageBox SampleUntilMessageBox(DWORD pid, HWND dialog, std::vector<Sample>& samples, DWORD timeoutMs) {
  test::SeenMessageBox box;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (unsigned n = 0; !box.box && GetTickCount64() < deadline && IsWindow(dialog); ++n) {
    // The status line first: the dialog moves the bar before the text, so the
    // position read next is the one of this line or of a later one.
    std::wstring status = ControlText(dialog, IDC_STATUS);
    samples.push_back({test::ProgressPosition(dialog, IDC_PROGRESS), status});
    if (n % 4 == 3) box = test::WaitForMessageBox(pid, L"Tarnfell", 0);  // costs more than a sample
  }
  return box;
}

bool IsCopying(const std::wstring& status) { return status.rfind(kCopying, 0) == 0; }

TEST(InstallDialog, StopsWhenCancelledRetriesWithTheFieldsKeptAndEndsWithOneAfterAnInstall) {
  TempDir dir;
  const std::wstring wrongDisc = dir / L"other.iso", bigDisc = dir / L"big.iso", disc = dir / L"Tarnfell.iso";
  const std::wstring folder = dir / L"Game";
  discgen::GameOptions wrong, big, medium;
  wrong.timestamp = discgen::kGameTimestamp ^ 1;
  big.totalBytes = 1ull << 30;  // a copy of several seconds, long enough to be stopped by hand
  medium.totalBytes = 256ull << 20;  // a hundred progress reports
  ASSERT_TRUE(MakeDisc(wrongDisc, wrong));
  ASSERT_TRUE(MakeDisc(bigDisc, big));
  ASSERT_TRUE(MakeDisc(disc, medium));
  const test::ShortcutPaths links = test::ShortcutLocations();
  links.Delete();
  test::DeleteUninstallEntry(KEY_WOW64_64KEY);

  // A folder of the user's own files.
  const std::wstring documents = dir / L"Documents";
  ASSERT_TRUE(CreateDirectoryW(documents.c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(documents + L"\\letter.txt", "x", 1));

  std::vector<Sample> samples;
  std::vector<int> setPositions;  // every position the bar was set to (the first 64)
  std::wstring playNow, statusAtPlayNow;
  DWORD setupProcess = 0;
  test::ProcessResult r = RunDialog([&](DWORD pid, HWND dialog) {
    setupProcess = pid;
    // Failing runs: their message, then the dialog as it was, the status line and bar reset.
    test::SetChecked(dialog, IDC_DESKTOP_SHORTCUT, false);
    const struct {
      std::wstring disc, folder;
      const wchar_t* message;
    } failures[] = {
        {disc, documents, L"The install folder already holds other files. Choose an empty folder or a new one."},
        {wrongDisc, folder, L"That disc image is not Tarnfell."},
    };
    for (const auto& f : failures) {
      SCOPED_TRACE(test::Utf8(f.message));
      test::SetControlText(dialog, IDC_DISC_PATH, f.disc);
      test::SetControlText(dialog, IDC_FOLDER_PATH, f.folder);
      test::PressButton(dialog, IDC_INSTALL);
      test::SeenMessageBox failed = test::WaitForMessageBox(pid, L"Tarnfell", 60000);
      ASSERT_TRUE(failed.box);
      EXPECT_EQ(failed.text, f.message);
      EXPECT_EQ(ControlText(dialog, IDC_STATUS), L"");
      EXPECT_EQ(test::ProgressPosition(dialog, IDC_PROGRESS), 0);
      ASSERT_TRUE(test::AnswerMessageBox(failed.box, IDOK));
      ExpectInputsEnabled(dialog, true);
      EXPECT_EQ(ControlText(dialog, IDC_DISC_PATH), f.disc);
      EXPECT_EQ(ControlText(dialog, IDC_FOLDER_PATH), f.folder);
      EXPECT_FALSE(test::IsChecked(dialog, IDC_DESKTOP_SHORTCUT));
    }
    EXPECT_EQ(test::FolderNames(documents), std::vector<std::wstring>{L"letter.txt"});

    // The edited field, a run that is stopped during the copy: No goes on, Yes stops it.
    test::SetControlText(dialog, IDC_DISC_PATH, bigDisc);
    test::PressButton(dialog, IDC_INSTALL);
    ASSERT_TRUE(test::WaitUntil([&] { return IsCopying(ControlText(dialog, IDC_STATUS)); }, 60000));
    test::SendCommand(dialog, IDCANCEL);  // Escape
    test::SeenMessageBox ask = test::WaitForMessageBox(pid, L"Tarnfell", 30000);
    ASSERT_TRUE(ask.box);
    EXPECT_EQ(ask.text, L"Stop the installation?");
    ASSERT_TRUE(test::AnswerMessageBox(ask.box, IDNO));
    ExpectInputsEnabled(dialog, false);
    test::SendCommand(dialog, IDCANCEL);
    ask = test::WaitForMessageBox(pid, L"Tarnfell", 30000);
    ASSERT_TRUE(ask.box);
    EXPECT_EQ(ask.text, L"Stop the installation?");
    ASSERT_TRUE(IsCopying(ControlText(dialog, IDC_STATUS))) << "the copy ended before Yes: make the disc bigger";
    ASSERT_TRUE(test::AnswerMessageBox(ask.box, IDYES));
    test::SeenMessageBox cancelled = test::WaitForMessageBox(pid, L"Tarnfell", 60000);
    ASSERT_TRUE(cancelled.box);
    EXPECT_EQ(cancelled.text, L"Installation cancelled.");
    EXPECT_EQ(ControlText(dialog, IDC_STATUS), L"");
    EXPECT_EQ(test::ProgressPosition(dialog, IDC_PROGRESS), 0);
    ASSERT_TRUE(test::AnswerMessageBox(cancelled.box, IDOK));
    ExpectInputsEnabled(dialog, true);
    EXPECT_EQ(ControlText(dialog, IDC_DISC_PATH), bigDisc);
    EXPECT_EQ(ControlText(dialog, IDC_FOLDER_PATH), folder);

    // Install again into the folder the stopped run began, from a smaller
    // disc, to the end; the close button does nothing meanwhile.
    test::SetControlText(dialog, IDC_DISC_PATH, disc);
    test::ProgressProbe probe(pid, dialog, IDC_PROGRESS, test::FromUnixPath(TF_PROGRESS_PROBE_DLL));
    EXPECT_TRUE(probe.Active());
    test::PressButton(dialog, IDC_INSTALL);
    ASSERT_TRUE(test::WaitUntil([&] { return !IsControlEnabled(dialog, IDC_INSTALL); }, 30000));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    Sleep(200);
    EXPECT_TRUE(IsWindowVisible(dialog));
    test::SeenMessageBox done = SampleUntilMessageBox(pid, dialog, samples, 300000);
    setPositions = probe.Positions();
    ASSERT_TRUE(done.box);
    playNow = done.text;
    statusAtPlayNow = ControlText(dialog, IDC_STATUS);
    // The install is complete: a probe takes the game's place (the installed
    // loader is 32-bit) and notes where Yes starts it.
    EXPECT_TRUE(CopyFileW(test::FromUnixPath(TF_PLAY_PROBE_EXE).c_str(), (folder + L"\\Tarnfell.exe").c_str(), FALSE));
    EXPECT_TRUE(test::AnswerMessageBox(done.box, IDYES));
  });
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(playNow,
            L"Tarnfell is installed.\n\nSaved games and settings are kept in your user profile, so they survive an "
            L"uninstall.\n\nPlay now?");
  EXPECT_EQ(statusAtPlayNow, L"Installed.");
  EXPECT_EQ(r.exitCode, 1u);
  // Yes started the game from its folder, through the desktop's shell (which
  // Wine has too): not as a child of the elevated installer.
  EXPECT_TRUE(test::WaitUntil([&] { return test::FileExists(folder + L"\\played.txt"); }, 30000));
  const std::string played = test::ReadText(folder + L"\\played.txt");
  const std::string where = test::Utf8(folder + L"\\Tarnfell.exe\n" + folder + L"\n");
  EXPECT_EQ(played.substr(0, where.size()), where);
  const std::string parent = played.substr(std::min(where.size(), played.size()));
  EXPECT_FALSE(parent.empty() || parent == "0\n" || parent == std::to_string(setupProcess) + "\n") << parent;

  // The bar and the status line moved with the run: from the start, never back, through the copy.
  ASSERT_FALSE(samples.empty());
  EXPECT_LE(samples.front().position, 5);
  std::vector<int> copying;
  for (size_t i = 1; i < samples.size(); ++i) {
    EXPECT_GE(samples[i].position, samples[i - 1].position) << "sample " << i;
    if (IsCopying(samples[i].status)) copying.push_back(samples[i].position);
  }
  EXPECT_TRUE(std::all_of(copying.begin(), copying.end(), [](int p) { return p >= 5; }));
  // However fast the copy runs (sampling from outside may miss it), the bar
  // was set to several steps of it, never back.
  EXPECT_TRUE(std::is_sorted(setPositions.begin(), setPositions.end()));
  std::vector<int> copySteps;
  for (int p : setPositions)
    if (p > 5 && p < 85) copySteps.push_back(p);
  copySteps.erase(std::unique(copySteps.begin(), copySteps.end()), copySteps.end());
  EXPECT_GE(copySteps.size(), 3u) << "the copy showed too few steps";

  // What the run left: the uninstaller, the Start-menu link only, the entry.
  EXPECT_TRUE(test::FileExists(folder + L"\\uninstall.exe"));
  EXPECT_TRUE(test::FileExists(links.commonPrograms));
  EXPECT_FALSE(test::FileExists(links.desktop));
  std::map<std::wstring, test::RegistryValue> entry;
  EXPECT_TRUE(test::ReadUninstallEntry(KEY_WOW64_64KEY, entry));
  EXPECT_EQ(test::RegistryText(entry[L"InstallLocation"]), folder);
  links.Delete();
  test::DeleteUninstallEntry(KEY_WOW64_64KEY);
}

}  // namespace
}  // namespace tf
