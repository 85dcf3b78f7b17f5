// tf_setup as the uninstaller, without a window: "/uninstall /quiet" from the
// install folder and from elsewhere, the refusal, and folder names that a
// command processor would act on.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "discgen.h"
#include "common/win32_handle.h"
#include "uninstall_e2e_support.h"
#include "uninstall_entry.h"
#include "win_gui.h"

namespace tf {
namespace {

using test::ListTree;
using test::LogOf;
using test::PrivateTempDir;
using List = std::vector<std::wstring>;

constexpr DWORD kCleanupWaitMs = 30000;  // the delayed command pauses about two seconds

std::string Utf8(const std::wstring& s) { return test::Utf8(s); }

std::string RemovalLog(const std::wstring& folder, bool alsoSaves, bool present) {
  return "--- uninstall: dir=\"" + Utf8(folder) + "\" alsoSaves=" + (alsoSaves ? "1" : "0") +
         "\r\n    tree deleted; dir still present = " + (present ? "1" : "0") + "\r\n";
}

// The visible top-level windows of the desktop, by handle, with their titles.
std::map<HWND, std::wstring> VisibleWindows() {
  std::map<HWND, std::wstring> windows;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        if (IsWindowVisible(window)) {
          wchar_t title[256] = {};
          GetWindowTextW(window, title, 256);
          (*reinterpret_cast<std::map<HWND, std::wstring>*>(found))[window] = title;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// After a real install with saves added, a quiet uninstall keeps only the
// saves, so that its clean-up command runs every try again. With programs
// planted as "ping" in the install folder's parent (before) and in the folder
// (as soon as the uninstaller has ended), none of them runs, and from the start
// of the uninstall to the end of its command no window appears.
TEST(QuietUninstall, AfterARealInstallOnlyTheSavesStayAndTheCleanUpRunsNothingPlanted) {
  PrivateTempDir dir(L"tmp");
  const std::wstring temp = dir.Temp();
  const std::wstring disc = dir / L"Tarnfell.iso", parent = dir / L"Games", folder = parent + L"\\Tarnfell";
  const std::wstring setup = dir / L"tf_setup.exe";
  std::string error;
  ASSERT_TRUE(discgen::WriteGameImage(discgen::GameOptions(), std::filesystem::path(disc), error)) << error;
  ASSERT_TRUE(CopyFileW(test::SetupExe().c_str(), setup.c_str(), FALSE));
  ASSERT_EQ(test::RunProgram(setup, L"/silent " + disc + L" " + folder).exitCode, 0u);
  // The install left its uninstaller and its entry (the 64-bit view, from the 64-bit build).
  struct EntryGone {
    ~EntryGone() { test::DeleteUninstallEntry(KEY_WOW64_64KEY); }
  } entryGone;
  std::map<std::wstring, test::RegistryValue> entry;
  ASSERT_TRUE(test::ReadUninstallEntry(KEY_WOW64_64KEY, entry));
  ASSERT_EQ(test::RegistryText(entry[L"InstallLocation"]), folder);
  ASSERT_TRUE(test::FileExists(folder + L"\\uninstall.exe"));
  test::Shortcuts shortcuts;  // a silent install makes none: these stand in for the dialog's
  test::UserFolder user;
  test::MakeTree(folder, {L"GFX\\_SAVES\\slot1.sav", L"GFX\\_SAVES\\old\\slot0.sav"});
  ASSERT_GT(ListTree(folder).size(), 30u);
  const std::wstring probe = test::FromUnixPath(TF_PLAY_PROBE_EXE);
  ASSERT_TRUE(test::PlantPings(parent, probe, true, true));

  const std::map<HWND, std::wstring> before = VisibleWindows();
  std::set<std::wstring> appeared;
  auto look = [&] {
    for (const auto& [window, title] : VisibleWindows())
      if (before.count(window) == 0) appeared.insert(title);
  };
  DWORD uninstaller = 0;
  const test::ProcessResult r = test::RunPrograms(
      {{folder + L"\\uninstall.exe", L"/uninstall /quiet", L"", false}}, 120000, [&](size_t, DWORD pid) {
        uninstaller = pid;
        test::WaitForProcessEnd(pid, 120000, look);
      })[0];
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut) << "a window waited for an answer";
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_TRUE(test::PlantPings(folder, probe, true, false));
  const std::vector<DWORD> commands = test::ProcessesStartedBy(uninstaller, L"cmd.exe");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_TRUE(test::WaitForProcessEnd(commands[0], 90000, look));
  look();

  EXPECT_EQ(shortcuts.Present(), 0u);
  EXPECT_FALSE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_TRUE(user.Intact());  // a quiet uninstall always keeps the saved games and settings
  EXPECT_EQ(LogOf(temp), RemovalLog(folder, false, true));
  // The uninstaller's own file went once it had ended; the saves keep the folder.
  EXPECT_FALSE(test::FileExists(folder + L"\\uninstall.exe"));
  List kept = test::SavesOnly();
  kept.insert(kept.end(), {L"ping.bat", L"ping.exe"});
  EXPECT_EQ(test::ListingAfterCleanUp(folder, test::Sorted(kept)), test::Sorted(kept));
  EXPECT_FALSE(test::HoldsParkedCopy(parent));
  EXPECT_FALSE(test::PlantedPingRan(parent));
  EXPECT_FALSE(test::PlantedPingRan(folder));
  std::string titles;
  for (const std::wstring& t : appeared) titles += " \"" + Utf8(t) + "\"";
  EXPECT_TRUE(appeared.empty()) << "windows:" << titles;
}

// Another program holds a game file open: nothing is removed at all. A folder
// held open stays when everything in it has gone: the entry, the uninstaller
// and the two markers stay with it, so that the uninstaller finds the install
// again; run again once it is let go, it removes the rest.
TEST(QuietUninstall, NeverLeavesAnInstallThatCannotBeUninstalledAgain) {
  PrivateTempDir dir(L"tmp");
  const std::wstring temp = dir.Temp(), folder = dir / L"Games\\Tarnfell";
  CreateDirectoryW((dir / L"Games").c_str(), nullptr);
  test::LayOutInstall(folder, true);
  test::UninstallKey key(folder);
  test::Shortcuts shortcuts;
  const List installed = ListTree(folder);
  const std::wstring uninstaller = folder + L"\\uninstall.exe";
  const std::string start = "--- uninstall: dir=\"" + Utf8(folder) + "\" alsoSaves=0\r\n";

  {
    UniqueFile held(CreateFileW((folder + L"\\GFX\\ARENA\\arena.xmf").c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(test::RunProgram(uninstaller, L"/uninstall /quiet", 120000).exitCode, 1u);
  }
  EXPECT_EQ(LogOf(temp), start + "    in use: \"" + Utf8(folder) + "\\GFX\\ARENA\\arena.xmf\" -- nothing removed\r\n");
  EXPECT_EQ(ListTree(folder), installed);
  EXPECT_TRUE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_EQ(shortcuts.Present(), shortcuts.Count());

  DeleteFileW((temp + L"\\tf_uninstall.log").c_str());
  {
    UniqueFile held(CreateFileW((folder + L"\\AUDMUSIC").c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(test::RunProgram(uninstaller, L"/uninstall /quiet", 120000).exitCode, 1u);
  }
  EXPECT_EQ(LogOf(temp), start + "    tree deleted; dir still present = 1\r\n    left: \"" + Utf8(folder) +
                             "\\AUDMUSIC\"\r\n");
  List left = test::SavesOnly();
  left.insert(left.end(), {L"AUDMUSIC\\", L"default.xbe", L"tf_hybrid.dll", L"uninstall.exe"});
  EXPECT_EQ(ListTree(folder), test::Sorted(left));
  EXPECT_TRUE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_EQ(shortcuts.Present(), shortcuts.Count());

  EXPECT_EQ(test::RunProgram(uninstaller, L"/uninstall /quiet", 120000).exitCode, 0u);
  EXPECT_FALSE(test::UninstallEntryExists(KEY_WOW64_64KEY));
  EXPECT_EQ(shortcuts.Present(), 0u);
  EXPECT_TRUE(test::WaitUntil([&] { return !test::FileExists(uninstaller); }, kCleanupWaitMs));
  EXPECT_EQ(test::ListingAfterCleanUp(folder, test::SavesOnly()), test::SavesOnly());
}

// Names the command processor would expand or split are never handed to it.
TEST(QuietUninstall, TheFolderGoesWhateverItsNameHolds) {
  wchar_t user[256] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"USERNAME", user, 256), 0u);
  const struct {
    std::wstring name, decoy;  // decoy: what an expanding processor would remove instead
  } cases[] = {
      {L"Tarnfell", L""},
      {L"Tarn fell", L""},
      {L"Tarn%USERNAME%fell", std::wstring(L"Tarn") + user + L"fell"},
      {L"100% Tarnfell", L""},
      {L"Rock & Roll! ^(x86)", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    PrivateTempDir dir(L"tmp");
    const std::wstring temp = dir.Temp(), parent = dir / L"Games", folder = parent + L"\\" + c.name;
    CreateDirectoryW(parent.c_str(), nullptr);
    if (!c.decoy.empty()) {
      ASSERT_TRUE(CreateDirectoryW((parent + L"\\" + c.decoy).c_str(), nullptr));
    }
    test::LayOutInstall(folder, false);
    test::UninstallKey key(folder);

    test::ProcessResult r = test::RunProgram(folder + L"\\uninstall.exe", L"/uninstall /quiet", 120000);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(LogOf(temp), RemovalLog(folder, false, true));
    EXPECT_TRUE(test::WaitUntil(
        [&] { return !test::FileExists(folder) && !test::HoldsParkedCopy(parent); }, kCleanupWaitMs));
    EXPECT_EQ(ListTree(parent), c.decoy.empty() ? List{} : List{c.decoy + L"\\"});
  }
}

// Started from its own folder, as a double-click starts it, the program works
// in the folder it must remove last: plain names (the command removes the
// folder), names the command processor must not see (the program removes it
// after parking its file beside it), and from outside the folder (the program
// removes it: no saves keep it).
TEST(QuietUninstall, StartedInTheFolderItRemovesTheFolderItself) {
  const struct {
    const wchar_t* name;
    bool fromElsewhere;
  } cases[] = {
      {L"Tarnfell", false}, {L"Tarnfell (PC)", false}, {L"Rock & Roll! 100%", false}, {L"Tarnfell", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name) + (c.fromElsewhere ? ", run from elsewhere" : ""));
    PrivateTempDir dir(L"tmp");
    const std::wstring temp = dir.Temp(), parent = dir / L"Games", folder = parent + L"\\" + c.name;
    CreateDirectoryW(parent.c_str(), nullptr);
    test::LayOutInstall(folder, false);
    test::UninstallKey key(folder);
    std::wstring program = folder + L"\\uninstall.exe";
    if (c.fromElsewhere) {
      program = dir / L"tf_setup.exe";
      ASSERT_TRUE(CopyFileW(test::SetupExe().c_str(), program.c_str(), FALSE));
      DeleteFileW((folder + L"\\uninstall.exe").c_str());
    }

    test::ProcessResult r = test::RunProgram(program, L"/uninstall /quiet", 120000, false, folder);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(LogOf(temp), RemovalLog(folder, false, true));  // the folder it works in stays until the last step
    EXPECT_TRUE(test::WaitUntil(
        [&] { return !test::FileExists(folder) && !test::HoldsParkedCopy(parent); }, kCleanupWaitMs))
        << ListTree(parent).size();
    EXPECT_EQ(ListTree(parent), List{});
  }
}

// The registry names the folder; the running program is no part of it and
// stays. Also at the longest "InstallLocation" that fits 260 characters: its
// entries then lie beyond MAX_PATH, where Wine gives no final path to check
// and Windows would not enumerate them; they stay, and so does the entry,
// with exit code 1.
TEST(QuietUninstall, RunFromElsewhereTheRegistryNamesTheFolderAndTheProgramStays) {
  for (size_t length : {0u, 259u}) {
    SCOPED_TRACE(length);
    PrivateTempDir dir(L"tmp");
    const std::wstring temp = dir.Temp(), elsewhere = dir / L"elsewhere";
    std::wstring folder = dir / L"Games\\Tarnfell";
    if (length) folder += std::wstring(length - folder.size(), L'x');
    CreateDirectoryW((dir / L"Games").c_str(), nullptr);
    test::LayOutInstall(folder, true);
    test::MakeTree(elsewhere, {L"notes.txt"});
    const std::wstring program = elsewhere + L"\\tf_setup.exe";
    ASSERT_TRUE(CopyFileW(test::SetupExe().c_str(), program.c_str(), FALSE));
    test::UninstallKey key(folder);
    test::Shortcuts shortcuts;

    test::ProcessResult r = test::RunProgram(program, L"/uninstall /quiet", 120000);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, length ? 1u : 0u);
    EXPECT_EQ(shortcuts.Present(), length ? shortcuts.Count() : 0u);
    EXPECT_EQ(test::UninstallEntryExists(KEY_WOW64_64KEY), length != 0);
    if (!length) {
      EXPECT_EQ(LogOf(temp), RemovalLog(folder, false, true));
      EXPECT_EQ(ListTree(folder), test::SavesOnly());  // uninstall.exe was not running: it went too
    } else {
      const std::string left = RemovalLog(folder, false, true) + "    left: \"" + Utf8(folder);
      EXPECT_EQ(LogOf(temp).substr(0, left.size()), left);
    }
    // Longer than any pause of a clean-up command: the program's file is still there.
    EXPECT_FALSE(test::WaitUntil([&] { return !test::FileExists(program); }, 6000));
    EXPECT_EQ(ListTree(elsewhere), (List{L"notes.txt", L"tf_setup.exe"}));
  }
}

// Neither beside the program nor in the registry: the message, the log line,
// exit code 1, and nothing touched.
TEST(QuietUninstall, WithoutAnInstallFolderItRefusesAndChangesNothing) {
  const wchar_t kText[] =
      L"This uninstaller could not find the installed game.\n\nNothing has been changed. Run the uninstaller from "
      L"inside the game's own folder, or use Settings > Apps.";
  enum Registry { NoKey, LostMarker, TooLong };
  const struct {
    const char* what;
    Registry registry;
    const wchar_t* program;
    const wchar_t* tail;
  } cases[] = {
      {"no registry entry, started as UNINSTALL.EXE", NoKey, L"UNINSTALL.EXE", L""},
      {"the registry names a folder without tf_hybrid.dll", LostMarker, L"tf_setup.exe", L"/uninstall /quiet"},
      {"the registry names a folder too long for 260 characters", TooLong, L"uninstall.exe", L"/uninstall"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrivateTempDir dir(L"tmp");
    const std::wstring temp = dir.Temp(), elsewhere = dir / L"elsewhere";
    std::wstring folder = dir / L"Games\\Tarnfell";
    if (c.registry == TooLong) folder += std::wstring(260 - folder.size(), L'x');
    CreateDirectoryW((dir / L"Games").c_str(), nullptr);
    test::LayOutInstall(folder, true);
    if (c.registry == LostMarker) DeleteFileW((folder + L"\\tf_hybrid.dll").c_str());
    test::MakeTree(elsewhere, {L"notes.txt"});
    const std::wstring program = elsewhere + L"\\" + c.program;
    ASSERT_TRUE(CopyFileW(test::SetupExe().c_str(), program.c_str(), FALSE));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    std::unique_ptr<test::UninstallKey> key;
    if (c.registry != NoKey) key = std::make_unique<test::UninstallKey>(folder);
    test::Shortcuts shortcuts;
    const List before = ListTree(folder);

    test::SeenMessageBox box;
    std::vector<test::ProcessResult> r =
        test::RunPrograms({{program, c.tail, L"", false}}, 120000, [&](size_t, DWORD pid) {
          box = test::WaitForMessageBox(pid, L"Tarnfell", 60000);
          if (box.box) test::AnswerMessageBox(box.box, IDOK);
        });
    ASSERT_TRUE(r[0].started);
    EXPECT_EQ(box.text, kText);
    EXPECT_EQ(r[0].exitCode, 1u);
    EXPECT_EQ(LogOf(temp), "--- refused: \"" + Utf8(program) +
                               "\" is not an install folder and the registry did not name a valid one\r\n");
    EXPECT_EQ(ListTree(folder), before);
    EXPECT_EQ(shortcuts.Present(), shortcuts.Count());
    EXPECT_EQ(test::UninstallEntryExists(KEY_WOW64_64KEY), c.registry != NoKey);
    EXPECT_FALSE(test::WaitUntil([&] { return !test::FileExists(program); }, 4000));
  }
}

}  // namespace
}  // namespace tf
