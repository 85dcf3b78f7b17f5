// tf_setup.exe /silent from start to end: a generated disc, the installed
// files compared with the image, the log compared byte for byte, and the usage box.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "common/game_edition.h"
#include "common/progress_math.h"
#include "common/win32_file.h"
#include "disc/xdvdfs_image.h"
#include "discgen.h"
#include "payload_sources.h"
#include "pipeline/game_selection.h"
#include "uninstall_entry.h"
#include "unix_side.h"
#include "win_gui.h"
#include "win_test_support.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_validate.h"

namespace tf {
namespace {

using test::TempDir;

constexpr DWORD kBoxTimeoutMs = 180000;  // Wine can take long to start a program
const char kBom[] = "\xEF\xBB\xBF";
const char kEllipsis[] = "\xE2\x80\xA6";
// The last lines of every complete install.
const std::string kFinalLines = std::string("[ 97%] Creating shortcuts") + kEllipsis +
                                "\r\n[ 99%] Registering with Add or remove programs" + kEllipsis + "\r\n[100%] Done.\r\n";

// Installs register themselves (in the 64-bit view, this build's own): the entry goes when the tests end.
class RemoveUninstallEntry : public ::testing::Environment {
 public:
  void TearDown() override { test::DeleteUninstallEntry(KEY_WOW64_64KEY); }
};
const ::testing::Environment* const kRemoveUninstallEntry =
    ::testing::AddGlobalTestEnvironment(new RemoveUninstallEntry);

using test::ReadText;

bool MakeDisc(const std::wstring& path, const discgen::GameOptions& options) {
  std::string error;
  return discgen::WriteGameImage(options, std::filesystem::path(path), error);
}

discgen::GameOptions RetailDisc() {
  discgen::GameOptions options;
  options.retail = true;
  return options;
}

// A folder of the test's own with a private copy of the installer (so that
// its log beside it is this test's own) and a generated disc.
struct Bench {
  explicit Bench(const discgen::GameOptions& options, const wchar_t* discName = L"Tarnfell.iso")
      : setup(dir / L"tf_setup.exe"), disc(dir / discName) {
    EXPECT_TRUE(CopyFileW(test::FromUnixPath(TF_SETUP_EXE).c_str(), setup.c_str(), FALSE));
    EXPECT_TRUE(MakeDisc(disc, options));
  }
  // The installer's exit code for this command-line tail (999: it did not run).
  DWORD Install(const std::wstring& tail) const {
    const test::ProcessResult r = test::RunProgram(setup, tail);
    EXPECT_TRUE(r.started);
    return r.started ? r.exitCode : 999;
  }
  std::string Log() const { return ReadText(setup + L".log"); }

  TempDir dir;
  std::wstring setup, disc;
};

std::string ArgsLine(const std::wstring& tail, bool android) {
  return "[  0%] [args] <" + test::Utf8(tail) + "> android=" + (android ? "yes" : "no") + "\r\n";
}

// The whole log of an install that fails while it reads the image.
std::string FailedReadingLog(const std::wstring& tail, bool android, const std::string& message) {
  return std::string(kBom) + ArgsLine(tail, android) + "[  1%] Reading the disc image" + kEllipsis +
         "\r\n[  1%] Failed: " + message + "\r\n";
}

// The log lines an install of this image writes while copying: a report after
// each chunk of each selected file, as far as the throttle lets it through.
std::string ExpectedCopyLines(const std::wstring& imagePath) {
  XdvdfsImage image;
  std::string error;
  EXPECT_TRUE(image.Open(imagePath, error)) << error;
  GameSelection sel = SelectGameFiles(image.Entries());
  std::string lines;
  uint64_t done = 0, last = 0;
  for (const XdvdfsEntry* e : sel.entries) {
    for (uint64_t left = e->size; left > 0;) {
      uint64_t chunk = std::min<uint64_t>(left, kFileChunkBytes);
      done += chunk;
      left -= chunk;
      if (CopyProgressDue(done, sel.bytes, last))
        lines += FormatLogPrefix(CopyProgressPercent(done, sel.bytes)) + test::Utf8(kCopyStatusText) + e->path + "\r\n";
    }
  }
  return lines;
}

// The whole log of a silent install of this image that succeeds.
std::string ExpectedInstallLog(const std::wstring& tail, const std::wstring& imagePath, bool retail) {
  std::string log = std::string(kBom) + ArgsLine(tail, false) + "[  1%] Reading the disc image" + kEllipsis + "\r\n";
  if (!retail)
    log += std::string("[  2%] Note: this image does not exactly match a retail disc; continuing") + kEllipsis + "\r\n";
  return log + "[  3%] Creating the install folder" + kEllipsis + "\r\n" + ExpectedCopyLines(imagePath) +
         "[ 86%] Installing the game runtime" + kEllipsis + "\r\n[ 90%] Preparing RAVU RIZO assets" + kEllipsis +
         "\r\n" + kFinalLines;
}

bool IsArenaContainer(const std::string& path) {
  for (const ArenaRow& row : ArenaTable)
    if (test::Utf16(path) == ArenaPath(row)) return true;
  return false;
}

// The arena containers of an install folder, in table order.
std::vector<std::vector<uint8_t>> ArenaBytes(const std::wstring& folder) {
  std::vector<std::vector<uint8_t>> all;
  for (const ArenaRow& row : ArenaTable) {
    all.emplace_back();
    EXPECT_TRUE(test::ReadFileBytes(folder + L"\\" + ArenaPath(row), all.back())) << test::Utf8(ArenaPath(row));
  }
  return all;
}

// An installed arena container parses, validates and holds "MEAT" once.
void ExpectPatchedArena(const std::wstring& path) {
  xmf::XmfContainer c;
  ASSERT_TRUE(test::ReadFileBytes(path, c.bytes)) << test::Utf8(path);
  std::string error;
  ASSERT_TRUE(xmf::Parse(c, error)) << error;
  EXPECT_TRUE(xmf::ValidateXmf(c, error)) << error;
  EXPECT_GE(xmf::FindObject(c, xmf::NameWord("MEAT")), 0) << test::Utf8(path);
  EXPECT_FALSE(test::FileExists(path + L".tmp"));
}

// Every selected file is in the folder with the image's bytes, the arena
// containers patched; nothing else is there.
void ExpectInstalledFilesMatch(const std::wstring& imagePath, const std::wstring& folder) {
  XdvdfsImage image;
  std::string error;
  ASSERT_TRUE(image.Open(imagePath, error)) << error;
  GameSelection sel = SelectGameFiles(image.Entries());
  ASSERT_GT(sel.entries.size(), 20u);
  for (const XdvdfsEntry* e : sel.entries) {
    std::vector<uint8_t> want(e->size), got;
    ASSERT_TRUE(e->size == 0 || image.ReadAt(e->offset, want.data(), e->size));
    std::wstring installed = folder + L"\\" + std::wstring(e->path.begin(), e->path.end());
    if (IsArenaContainer(e->path)) {
      ExpectPatchedArena(installed);
      continue;
    }
    ASSERT_TRUE(test::ReadFileBytes(installed, got)) << e->path;
    EXPECT_TRUE(got == want) << e->path;
  }
  EXPECT_FALSE(test::FileExists(folder + L"\\GFXDATA"));
  EXPECT_FALSE(test::FileExists(folder + L"\\MOVIES"));
}

// One silent install of a retail disc, into a folder typed relative to the
// current one, checked from several sides; the later tests install over it.
struct RetailRun {
  Bench bench{RetailDisc()};
  std::wstring folder = bench.dir / L"Games\\Tarnfell", tail = L"/silent " + bench.disc + L" Games\\Tarnfell";
  test::ShortcutPaths links = test::ShortcutLocations();
  DWORD exitCode = 999;
};

class RetailInstall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    run_ = std::make_unique<RetailRun>();
    run_->links.Delete();
    test::DeleteUninstallEntry(KEY_WOW64_64KEY);
    const test::ProcessResult r = test::RunProgram(run_->bench.setup, run_->tail, 300000, false, run_->bench.dir.Path());
    if (r.started) run_->exitCode = r.exitCode;
  }
  static void TearDownTestSuite() { run_.reset(); }
  void SetUp() override { ASSERT_EQ(run_->exitCode, 0u) << run_->bench.Log(); }

  static std::unique_ptr<RetailRun> run_;
};
std::unique_ptr<RetailRun> RetailInstall::run_;

TEST_F(RetailInstall, LogsExactly) { EXPECT_EQ(run_->bench.Log(), ExpectedInstallLog(run_->tail, run_->bench.disc, true)); }

TEST_F(RetailInstall, InstallsTheGameFilesTheRuntimeAndTheUninstaller) {
  const std::wstring& folder = run_->folder;
  ExpectInstalledFilesMatch(run_->bench.disc, folder);
  // The runtime beside the game files: the loader under the game's name, the settings.
  std::vector<uint8_t> loader, installedLoader;
  ASSERT_TRUE(test::ReadFileBytes(test::DistFile(L"tf_loader.exe"), loader));
  ASSERT_TRUE(test::ReadFileBytes(folder + L"\\Tarnfell.exe", installedLoader));
  EXPECT_TRUE(installedLoader == loader);
  for (const test::PayloadSource& e : test::kPayloadSources)
    EXPECT_TRUE(ReadText(folder + L"\\" + e.name) == ReadText(test::FromUnixPath(e.source))) << test::Utf8(e.name);
  EXPECT_EQ(ReadText(folder + L"\\tarnfell.ini"), test::kDefaultIni);
  EXPECT_TRUE(ReadText(folder + L"\\uninstall.exe") == ReadText(run_->bench.setup));
}

// Registered by its full path; a silent install makes no shortcut.
TEST_F(RetailInstall, RegistersTheFullFolderAndMakesNoShortcut) {
  std::map<std::wstring, test::RegistryValue> entry;
  ASSERT_TRUE(test::ReadUninstallEntry(KEY_WOW64_64KEY, entry));
  EXPECT_EQ(test::RegistryText(entry[L"InstallLocation"]), run_->folder);
  EXPECT_EQ(test::RegistryText(entry[L"UninstallString"]), L"\"" + run_->folder + L"\\uninstall.exe\" /uninstall");
  const test::ShortcutPaths& links = run_->links;
  for (const std::wstring* link : {&links.desktop, &links.commonPrograms, &links.programs})
    EXPECT_FALSE(test::FileExists(*link)) << test::Utf8(*link);
}

// Over that install, what must be in place for an uninstall fails the install
// when it cannot be (a folder where uninstall.exe goes), and a folder of the
// game swapped for a link is never written through.
TEST_F(RetailInstall, OverItNothingGoesThroughALinkOrWithoutTheUninstaller) {
  Bench& b = run_->bench;
  const std::wstring& folder = run_->folder;
  std::map<std::wstring, test::RegistryValue> entry;
  test::DeleteUninstallEntry(KEY_WOW64_64KEY);

  const std::wstring uninstaller = folder + L"\\uninstall.exe", tail = L"/silent " + b.disc + L" " + folder;
  ASSERT_TRUE(DeleteFileW(uninstaller.c_str()) && CreateDirectoryW(uninstaller.c_str(), nullptr));
  EXPECT_EQ(b.Install(tail), 1u);
  const std::string failed = "[ 97%] Failed: The uninstaller could not be put in place (error ";
  EXPECT_NE(b.Log().find(std::string("[ 97%] Creating shortcuts") + kEllipsis + "\r\n" + failed), std::string::npos)
      << b.Log();
  EXPECT_FALSE(test::ReadUninstallEntry(KEY_WOW64_64KEY, entry));
  ASSERT_TRUE(RemoveDirectoryW(uninstaller.c_str()));

  const std::wstring outside = b.dir / L"outside";
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  const std::string kitchen = test::UnixPathOf(folder + L"\\GFX\\KITCHEN");
  ASSERT_TRUE(test::RunUnixShell("rm -r '" + kitchen + "' && ln -s ../../../outside '" + kitchen + "'", b.dir.Path()));
  EXPECT_EQ(b.Install(tail), 1u);
  EXPECT_NE(b.Log().find("Failed: The install folder holds a link to another place. Choose an empty folder or a new "
                         "one.\r\n"),
            std::string::npos)
      << b.Log();
  EXPECT_EQ(test::FolderNames(outside), std::vector<std::wstring>{});
  EXPECT_FALSE(test::ReadUninstallEntry(KEY_WOW64_64KEY, entry));
}

// Copies of the installer without one of its payload resources.
TEST(SilentInstall, WithoutTheReadmeTheInstallFailsAfterNineFilesAndWithoutTheOptionalFileItSucceeds) {
  Bench b{discgen::GameOptions()};
  const TempDir& dir = b.dir;
  const char kDamaged[] = "The installer is damaged (a required file is missing from it). Please download it again.";
  struct Case {
    WORD removed;
    bool succeeds;
  } cases[] = {{110, false}, {112, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.removed);
    std::wstring tag = std::to_wstring(c.removed);
    CreateDirectoryW((dir / tag).c_str(), nullptr);
    std::wstring setup = dir / (tag + L"\\tf_setup.exe"), folder = dir / (L"game" + tag);
    ASSERT_TRUE(test::CopyWithoutResource(test::FromUnixPath(TF_SETUP_EXE), setup, c.removed));
    test::ProcessResult r = test::RunProgram(setup, L"/silent " + b.disc + L" " + folder);
    ASSERT_TRUE(r.started);
    const std::string log = ReadText(setup + L".log");
    const size_t kept = c.succeeds ? 10 : 9;
    for (size_t i = 0; i < kept; ++i)
      EXPECT_TRUE(test::FileExists(folder + L"\\" + test::kPayloadSources[i].name)) << test::Utf8(test::kPayloadSources[i].name);
    if (c.succeeds) {
      EXPECT_EQ(r.exitCode, 0u) << log;
      EXPECT_FALSE(test::FileExists(folder + L"\\arabic_font.bin"));
      EXPECT_EQ(ReadText(folder + L"\\tarnfell.ini"), test::kDefaultIni);
    } else {
      EXPECT_EQ(r.exitCode, 1u);
      EXPECT_NE(log.find(std::string("Failed: ") + kDamaged), std::string::npos) << log;
      EXPECT_FALSE(test::FileExists(folder + L"\\README.txt"));
      EXPECT_FALSE(test::FileExists(folder + L"\\tarnfell.ini"));
    }
  }
}

TEST(SilentInstall, OtherDiscShowsTheNoteAndInstallsDeepAndEmptyFiles) {
  discgen::GameOptions options;
  options.base = discgen::kFullDiscBase;
  options.zeroLengthFiles = true;
  options.deepNesting = true;
  options.edgeSizes = true;
  Bench b(options, L"other.iso");
  const std::wstring installed = b.dir / L"T";
  // Leftovers of older installs go; kept saves stay.
  CreateDirectoryW(installed.c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(installed + L"\\PLAY.cmd", "x", 1));
  SetFileAttributesW((installed + L"\\PLAY.cmd").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryW((installed + L"\\_SAVES").c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(installed + L"\\_SAVES\\slot1.sav", "keep", 4));
  // Unquoted: inside quotes a trailing backslash would escape the closing quote.
  const std::wstring tail = L"/SILENT " + b.disc + L" " + installed + L"\\";
  EXPECT_EQ(b.Install(tail), 0u);
  EXPECT_EQ(b.Log(), ExpectedInstallLog(tail, b.disc, false));
  ExpectInstalledFilesMatch(b.disc, installed);
  EXPECT_FALSE(test::FileExists(installed + L"\\PLAY.cmd"));
  EXPECT_EQ(ReadText(installed + L"\\_SAVES\\slot1.sav"), "keep");

  // A second install over the first leaves every arena container as it was.
  const std::vector<std::vector<uint8_t>> before = ArenaBytes(installed);
  EXPECT_EQ(b.Install(tail), 0u);
  EXPECT_TRUE(ArenaBytes(installed) == before);
}

TEST(SilentInstall, WrongDiscFailsWithExitCodeOne) {
  discgen::GameOptions options;
  options.timestamp = discgen::kGameTimestamp ^ 1;
  Bench b(options, L"other.iso");
  const std::wstring folder = b.dir / L"T", tail = L"/silent " + b.disc + L" " + folder + L" /android";
  EXPECT_EQ(b.Install(tail), 1u);
  EXPECT_EQ(b.Log(), FailedReadingLog(tail, true, "That disc image is not Tarnfell."));
  EXPECT_FALSE(test::FileExists(folder));
}

// A folder with files of its own, or a drive's top folder: the install fails
// before it writes anything.
TEST(SilentInstall, AFolderWithOtherFilesOrADriveRootIsRefusedUntouched) {
  Bench b(RetailDisc());
  const std::wstring other = b.dir / L"Documents", empty = b.dir / L"drive", phone = b.dir / L"Phone";
  ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr) && CreateDirectoryW(empty.c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(other + L"\\letter.txt", "mine", 4));
  ASSERT_TRUE(test::WriteFileBytes(other + L"\\PLAY.cmd", "x", 1));  // a leftover name beside it
  // Only names an install uses at the top, but a phone backup inside.
  ASSERT_TRUE(CreateDirectoryW(phone.c_str(), nullptr) && CreateDirectoryW((phone + L"\\Android").c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(phone + L"\\Android\\img001.jpg", "jpg", 3));
  test::MappedDrive drive(empty, b.dir.Path());  // an empty drive
  ASSERT_FALSE(drive.Root().empty()) << "no spare drive letter could be mapped";
  const struct {
    std::wstring folder;
    const char* message;
  } cases[] = {
      {other, "The install folder already holds other files. Choose an empty folder or a new one."},
      {phone, "The install folder already holds other files. Choose an empty folder or a new one."},
      {drive.Root(),
       "The install folder cannot be the top folder of a drive or a network share. Choose a folder inside it."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(test::Utf8(c.folder));
    const std::vector<std::wstring> before = test::FolderNames(c.folder);
    test::DeleteUninstallEntry(KEY_WOW64_64KEY);
    const std::wstring tail = L"/silent " + b.disc + L" " + c.folder;
    EXPECT_EQ(b.Install(tail), 1u);
    EXPECT_EQ(b.Log(), FailedReadingLog(tail, false, c.message));
    EXPECT_EQ(test::FolderNames(c.folder), before);
    EXPECT_FALSE(test::FileExists(c.folder + L"\\default.xbe"));
    std::map<std::wstring, test::RegistryValue> entry;
    EXPECT_FALSE(test::ReadUninstallEntry(KEY_WOW64_64KEY, entry));
  }
  EXPECT_EQ(ReadText(other + L"\\PLAY.cmd"), "x");
}

// Runs a program that shows a message box titled "Tarnfell", checks the box's
// text, presses OK and returns the exit code (or 999 when it did not end).
DWORD RunAndCloseBox(const std::wstring& program, const std::wstring& tail, const std::wstring& expectedText) {
  std::wstring text = L"<no message box appeared>";
  auto closeBox = [&](size_t, DWORD processId) {
    const test::SeenMessageBox box = test::WaitForMessageBox(processId, L"Tarnfell", kBoxTimeoutMs);
    if (!box.box) return;
    text = box.text;
    test::AnswerMessageBox(box.box, IDOK);
  };
  const test::ProcessResult r = test::RunPrograms({{program, tail, L"", false}}, 2 * kBoxTimeoutMs, closeBox)[0];
  EXPECT_NE(text.find(expectedText), std::wstring::npos) << test::Utf8(text);
  return r.started && !r.timedOut ? r.exitCode : 999;
}

TEST(SilentInstall, IncompleteArgumentsShowTheUsageBox) {
  TempDir dir;
  const std::wstring setup = dir / L"tf_setup.exe";
  ASSERT_TRUE(CopyFileW(test::FromUnixPath(TF_SETUP_EXE).c_str(), setup.c_str(), FALSE));
  EXPECT_EQ(RunAndCloseBox(setup, L"/silent D:\\a.iso", L"usage: tf_setup.exe /silent <disc.iso> <install folder>"),
            2u);
  EXPECT_FALSE(test::FileExists(setup + L".log"));
}

// Away from an install and without a registry entry, the uninstaller refuses.
TEST(ModeSelection, AProgramNamedUninstallExeIsTheUninstaller) {
  TempDir dir;
  std::wstring copy = dir / L"UNINSTALL.EXE";
  ASSERT_TRUE(CopyFileW(test::FromUnixPath(TF_SETUP_EXE).c_str(), copy.c_str(), FALSE));
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnfell");
  wchar_t tmp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", dir.Path().c_str());  // its log, tf_uninstall.log, goes with the folder
  EXPECT_EQ(RunAndCloseBox(copy, L"", L"This uninstaller could not find the installed game."), 1u);
  SetEnvironmentVariableW(L"TMP", tmp[0] ? tmp : nullptr);
  EXPECT_EQ(ReadText(dir / L"tf_uninstall.log").rfind("--- refused: \"" + test::Utf8(copy) + "\"", 0), 0u);
}

}  // namespace
}  // namespace tf
