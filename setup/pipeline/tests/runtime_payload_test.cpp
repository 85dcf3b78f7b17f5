// WriteRuntimePayload, PayloadBytes and WriteWholeFile under Wine. This program
// carries the payload resources exactly as tf_setup does; copies of it with a
// resource removed check the damaged and the optional cases.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/tests/file_seam.h"
#include "payload_sources.h"
#include "runtime_payload.h"
#include "win_test_support.h"

namespace {

using tf::test::TempDir;

const char kAdminMessage[] =
    "Could not write to the install folder. Try running the installer as administrator, or choose a different "
    "location.";
const char kDiskFullMessage[] = "Could not write to the install folder (the disk may be full).";
const char kDamagedMessage[] = "The installer is damaged (a required file is missing from it). Please download it again.";

using tf::test::kDefaultIni;
const auto& kExpected = tf::test::kPayloadSources;

std::vector<uint8_t> Read(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(tf::test::ReadFileBytes(path, bytes)) << tf::test::Utf8(path);
  return bytes;
}
std::vector<uint8_t> Source(const char* unixPath) { return Read(tf::test::FromUnixPath(unixPath)); }
std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  return tf::test::FolderNames(folder, tf::test::Listing::FilesOnly);
}

TEST(RuntimePayload, TableHoldsTheElevenFilesInOrder) {
  const std::span<const tf::PayloadFile> table = tf::kPayloadFiles;
  const uint16_t ids[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 112};
  ASSERT_EQ(table.size(), std::size(ids));
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].resourceId, ids[i]);
    EXPECT_EQ(table[i].optional, ids[i] == 112) << ids[i];
  }
}

// The build reads the file names of payload_ids.h to pick what it embeds under
// each id; here they meet the names the files are installed under.
TEST(RuntimePayload, EachIdCarriesTheFileOfItsName) {
  for (const tf::test::PayloadSource& e : kExpected) {
    const std::string source = e.source, name = tf::test::Utf8(e.name);
    const std::string embedded = source.substr(source.rfind('/') + 1);
    EXPECT_EQ(embedded, name == "Tarnfell.exe" ? "tf_loader.exe" : name) << source;
  }
}

TEST(RuntimePayload, WritesEveryCarriedFileByteForByteAndTheSettings) {
  TempDir dir;
  std::string error = "untouched";
  ASSERT_TRUE(tf::WriteRuntimePayload(dir.Path(), 1280, 720, 0, error)) << error;
  EXPECT_EQ(error, "untouched");

  uint64_t total = 0;
  for (const tf::test::PayloadSource& e : kExpected) {
    std::vector<uint8_t> want = Source(e.source);
    ASSERT_FALSE(want.empty()) << e.source;
    total += want.size();
    EXPECT_TRUE(Read(dir / e.name) == want) << tf::test::Utf8(e.name) << " differs from " << e.source;
  }
  EXPECT_EQ(Text(Read(dir / L"tarnfell.ini")), kDefaultIni);
  EXPECT_EQ(tf::test::FileSize(dir / L"tarnfell.ini"), 43u);
  EXPECT_EQ(FilesIn(dir.Path()).size(), std::size(kExpected) + 1) << "no other files";
  EXPECT_EQ(tf::PayloadBytes(), total);
}

TEST(RuntimePayload, SettingsTextFormatsAnyThreeIntegers) {
  struct {
    int32_t width, height, mode;
    const char* text;
  } cases[] = {
      {1920, 1080, 2, "[Display]\r\nWidth=1920\r\nHeight=1080\r\nMode=2\r\n"},
      {-1, INT32_MAX, INT32_MIN, "[Display]\r\nWidth=-1\r\nHeight=2147483647\r\nMode=-2147483648\r\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(tf::WriteRuntimePayload(dir.Path(), c.width, c.height, c.mode, error)) << error;
    EXPECT_EQ(Text(Read(dir / L"tarnfell.ini")), c.text);
  }
}

TEST(RuntimePayload, FolderWithTrailingBackslashStillWorks) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(tf::WriteRuntimePayload(dir.Path() + L"\\", 1280, 720, 0, error)) << error;
  EXPECT_EQ(tf::test::FileSize(dir / L"Tarnfell.exe"), tf::test::FileSize(tf::test::DistFile(L"tf_loader.exe")));
  EXPECT_EQ(Text(Read(dir / L"tarnfell.ini")), kDefaultIni);
  EXPECT_EQ(FilesIn(dir.Path()).size(), std::size(kExpected) + 1);
}

// The runtime library's file cannot be created: the loader before it is
// already replaced, nothing after it is tried.
void ExpectStoppedAtRuntimeLibrary(const TempDir& dir, const char* old) {
  std::string error;
  EXPECT_FALSE(tf::WriteRuntimePayload(dir.Path(), 1280, 720, 0, error));
  EXPECT_EQ(error, kAdminMessage);
  EXPECT_TRUE(Read(dir / L"Tarnfell.exe") == Source(TF_PAYLOAD_SOURCE_101)) << "the loader was replaced first";
  EXPECT_NE(Text(Read(dir / L"Tarnfell.exe")), old);
  EXPECT_FALSE(tf::test::FileExists(dir / L"msvcp140.dll")) << "later rows are not tried";
  EXPECT_FALSE(tf::test::FileExists(dir / L"tarnfell.ini"));
}

TEST(RuntimePayload, ReadOnlyRuntimeLibraryStopsWithTheAdministratorMessage) {
  TempDir dir;
  const char old[] = "old contents";
  ASSERT_TRUE(tf::test::WriteFileBytes(dir / L"Tarnfell.exe", old, sizeof(old) - 1));
  ASSERT_TRUE(tf::test::WriteFileBytes(dir / L"tf_hybrid.dll", old, sizeof(old) - 1));
  ASSERT_TRUE(SetFileAttributesW((dir / L"tf_hybrid.dll").c_str(), FILE_ATTRIBUTE_READONLY));
  ExpectStoppedAtRuntimeLibrary(dir, old);
  EXPECT_EQ(Text(Read(dir / L"tf_hybrid.dll")), old);
}

TEST(RuntimePayload, FolderInPlaceOfTheRuntimeLibraryStopsWithTheAdministratorMessage) {
  TempDir dir;
  const char old[] = "old contents";
  ASSERT_TRUE(tf::test::WriteFileBytes(dir / L"Tarnfell.exe", old, sizeof(old) - 1));
  ASSERT_TRUE(CreateDirectoryW((dir / L"tf_hybrid.dll").c_str(), nullptr));
  ExpectStoppedAtRuntimeLibrary(dir, old);
}

// --- WriteWholeFile --------------------------------------------------------

// Records every WriteFile call; optionally makes one of them fail or come up short.
using WriteWatch = tf::test::FileSeam;

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>((i * 7919u) >> 3);
  return data;
}

TEST(WriteWholeFile, WritesInChunksOfAtMostOneMebibyte) {
  constexpr DWORD kMiB = 0x100000;
  struct {
    uint32_t length;
    std::vector<DWORD> chunks;
  } cases[] = {
      {0, {}},
      {1, {1}},
      {kMiB, {kMiB}},
      {kMiB + 1, {kMiB, 1}},
      {3 * kMiB + 5, {kMiB, kMiB, kMiB, 5}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    std::vector<uint8_t> data = Pattern(c.length);
    // An older, longer file of the same name is replaced, not overwritten in place.
    std::vector<uint8_t> longer(c.length + 4096, 0xEE);
    ASSERT_TRUE(tf::test::WriteFileBytes(dir / L"out.bin", longer.data(), longer.size()));
    WriteWatch watch;
    std::string error;
    ASSERT_TRUE(tf::WriteWholeFile(dir / L"out.bin", data.data(), c.length, error, WriteWatch::Calls()))
        << c.length << ": " << error;
    EXPECT_EQ(WriteWatch::writes, c.chunks) << c.length;
    EXPECT_TRUE(Read(dir / L"out.bin") == data) << c.length;
  }
}

// A failure at any step leaves the earlier file of an earlier install as it
// was, and no temporary file beside it.
TEST(WriteWholeFile, AFailedStepLeavesTheEarlierFileWithTheStepsMessage) {
  constexpr uint32_t kLength = 0x100000 * 2 + 10;
  std::vector<uint8_t> data = Pattern(kLength);
  struct {
    const char* what;
    int failWrite, shortWrite;
    bool failFlush, failMove;
    size_t writes;  // the failing one included
    const char* message;
  } cases[] = {
      {"the second chunk fails", 1, -1, false, false, 2, kDiskFullMessage},
      {"the first chunk comes up short", -1, 0, false, false, 1, kDiskFullMessage},
      {"the last chunk comes up short", -1, 2, false, false, 3, kDiskFullMessage},
      {"the flush fails", -1, -1, true, false, 3, kDiskFullMessage},
      {"the move fails", -1, -1, false, true, 3, kAdminMessage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_TRUE(tf::test::WriteFileBytes(dir / L"out.bin", "earlier", 7));
    WriteWatch watch;
    WriteWatch::failWrite = c.failWrite;
    WriteWatch::shortWrite = c.shortWrite;
    WriteWatch::failFlush = c.failFlush;
    WriteWatch::failMove = c.failMove;
    std::string error = "old";
    EXPECT_FALSE(tf::WriteWholeFile(dir / L"out.bin", data.data(), kLength, error, WriteWatch::Calls()));
    EXPECT_EQ(error, c.message);
    EXPECT_EQ(Text(Read(dir / L"out.bin")), "earlier");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::wstring>{L"out.bin"}) << "no temporary file";
    EXPECT_EQ(WriteWatch::writes.size(), c.writes) << "no write after the failure";
  }
}

TEST(WriteWholeFile, UncreatableFileGivesTheAdministratorMessage) {
  TempDir dir;
  const char byte = 'x';
  struct {
    std::wstring path;
  } cases[] = {
      {dir / L"missing folder\\out.bin"},
      {dir.Path()},  // a folder of that name
  };
  for (const auto& c : cases) {
    std::string error = "old";
    EXPECT_FALSE(tf::WriteWholeFile(c.path, &byte, 1, error)) << tf::test::Utf8(c.path);
    EXPECT_EQ(error, kAdminMessage);
  }
}

// --- copies of this program without one resource ---------------------------

// The folder given to a child copy (see DISABLED_WriteIntoFolder), or empty.
std::wstring ChildFolder() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring folder;
  const std::wstring flag = L"--tf-child-dir=";
  for (int i = 1; argv && i < argc; ++i)
    if (std::wstring(argv[i]).rfind(flag, 0) == 0) folder = argv[i] + flag.size();
  LocalFree(argv);
  return folder;
}

// Runs only in a child copy: writes the payload into the folder it was given
// and leaves the outcome in result.txt there.
TEST(RuntimePayloadChild, DISABLED_WriteIntoFolder) {
  std::wstring folder = ChildFolder();
  ASSERT_FALSE(folder.empty());
  std::string error;
  bool ok = tf::WriteRuntimePayload(folder, 1280, 720, 0, error);
  std::string outcome = ok ? "ok" : "failed: " + error;
  tf::test::WriteFileBytes(folder + L"\\result.txt", outcome.data(), outcome.size());
}

// A copy of this program without RCDATA resource id.
bool CopyWithout(const std::wstring& copy, WORD id) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return tf::test::CopyWithoutResource(self, copy, id);
}

TEST(RuntimePayload, CopiesWithoutResourcesFailOrSkipAsTheTableSays) {
  TempDir work;
  struct Child {
    WORD removed;
    std::wstring folder;
    tf::test::ProcessResult result;
  } children[] = {{110, work / L"no110", {}}, {112, work / L"no112", {}}};
  std::vector<tf::test::ProgramRun> runs;
  for (Child& c : children) {
    std::wstring copy = work / (L"copy" + std::to_wstring(c.removed) + L".exe");
    ASSERT_TRUE(CopyWithout(copy, c.removed)) << c.removed;
    ASSERT_TRUE(CreateDirectoryW(c.folder.c_str(), nullptr));
    std::wstring tail = L"--gtest_also_run_disabled_tests --gtest_filter=RuntimePayloadChild.DISABLED_WriteIntoFolder "
                        L"\"--tf-child-dir=" + c.folder + L"\"";
    runs.push_back({copy, tail, L"", true});
  }
  std::vector<tf::test::ProcessResult> results = tf::test::RunPrograms(runs, 1200000);
  for (size_t i = 0; i < std::size(children); ++i) children[i].result = results[i];

  // Without the readme: the first nine files are written, then the damaged message.
  const Child& no110 = children[0];
  ASSERT_TRUE(no110.result.started);
  EXPECT_EQ(Text(Read(no110.folder + L"\\result.txt")), std::string("failed: ") + kDamagedMessage)
      << no110.result.output;
  for (size_t i = 0; i < 9; ++i) EXPECT_TRUE(tf::test::FileExists(no110.folder + L"\\" + kExpected[i].name));
  EXPECT_FALSE(tf::test::FileExists(no110.folder + L"\\README.txt"));
  EXPECT_FALSE(tf::test::FileExists(no110.folder + L"\\tarnfell.ini"));

  // Without the optional data file: a normal install, minus that file.
  const Child& no112 = children[1];
  ASSERT_TRUE(no112.result.started);
  EXPECT_EQ(Text(Read(no112.folder + L"\\result.txt")), "ok") << no112.result.output;
  for (size_t i = 0; i < 10; ++i)
    EXPECT_TRUE(Read(no112.folder + L"\\" + kExpected[i].name) == Source(kExpected[i].source))
        << tf::test::Utf8(kExpected[i].name);
  EXPECT_FALSE(tf::test::FileExists(no112.folder + L"\\arabic_font.bin"));
  EXPECT_EQ(Text(Read(no112.folder + L"\\tarnfell.ini")), kDefaultIni);
}

}  // namespace
