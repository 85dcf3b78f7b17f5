// The Win32 file layer on real files, with reads and writes that come back
// short, in pieces or failed through the calls a test passes in.
#include "common/win32_file.h"

#include <gtest/gtest.h>

#include <numeric>

#include "common/tests/file_seam.h"
#include "common/text.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::FileExists;
using test::TempDir;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return v;
}

using Seam = test::FileSeam;

class FileLayer : public ::testing::Test {
 protected:
  Seam seam;
  const FileCalls io = Seam::Calls();
  TempDir dir;
};

TEST_F(FileLayer, WritesInWholeChunksOfAtMostOneMebibyte) {
  struct Case {
    size_t size;
    std::vector<DWORD> calls;
  } cases[] = {
      {0, {}},
      {1, {1}},
      {kFileChunkBytes, {kFileChunkBytes}},
      {kFileChunkBytes + 1, {kFileChunkBytes, 1}},
      {3 * kFileChunkBytes - 5, {kFileChunkBytes, kFileChunkBytes, kFileChunkBytes - 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Seam::Clear();
    std::vector<uint8_t> bytes = Pattern(c.size), back;
    uint32_t error = 0;
    ASSERT_EQ(ReplaceWholeFile(dir / L"f.bin", bytes, error, io), FileWrite::Ok);
    EXPECT_EQ(Seam::calls, c.calls);
    Seam::Clear();
    ASSERT_EQ(ReadWholeFile(dir / L"f.bin", back, 1u << 30, io), FileRead::Ok);
    EXPECT_TRUE(back == bytes);
  }
}

// A chunk source that hands out a pattern and records what it was asked.
class RecordedChunks : public ChunkSource {
 public:
  explicit RecordedChunks(const std::vector<uint8_t>& bytes, uint64_t failAt = UINT64_MAX)
      : bytes_(bytes), failAt_(failAt) {}
  const uint8_t* Chunk(uint64_t at, DWORD size) override {
    asked.push_back({at, size});
    return at == failAt_ ? nullptr : bytes_.data() + at;
  }
  std::vector<std::pair<uint64_t, DWORD>> asked;

 private:
  const std::vector<uint8_t>& bytes_;
  uint64_t failAt_;
};

TEST_F(FileLayer, ChunkSourcesAreAskedChunkByChunkAndCanFail) {
  const std::vector<uint8_t> bytes = Pattern(2 * kFileChunkBytes + 3);
  RecordedChunks all(bytes);
  uint32_t error = 0;
  ASSERT_EQ(ReplaceWholeFile(dir / L"f.bin", bytes.size(), all, error, io), FileWrite::Ok);
  const std::vector<std::pair<uint64_t, DWORD>> want = {
      {0, kFileChunkBytes}, {kFileChunkBytes, kFileChunkBytes}, {2 * kFileChunkBytes, 3}};
  EXPECT_EQ(all.asked, want);
  EXPECT_EQ(Seam::writes, (std::vector<DWORD>{kFileChunkBytes, kFileChunkBytes, 3}));
  std::vector<uint8_t> back;
  ASSERT_EQ(ReadWholeFile(dir / L"f.bin", back, 1u << 30, io), FileRead::Ok);
  EXPECT_TRUE(back == bytes);

  // A chunk the source cannot give fails the write before it is tried; the
  // file written before stays.
  Seam::Clear();
  RecordedChunks failing(bytes, kFileChunkBytes);
  EXPECT_EQ(ReplaceWholeFile(dir / L"f.bin", bytes.size(), failing, error, io), FileWrite::WriteFailed);
  EXPECT_EQ(failing.asked.size(), 2u);
  EXPECT_EQ(Seam::writes.size(), 1u);
  ASSERT_EQ(ReadWholeFile(dir / L"f.bin", back, 1u << 30, io), FileRead::Ok);
  EXPECT_TRUE(back == bytes);
  EXPECT_FALSE(FileExists(dir / L"f.bin.tmp"));
}

TEST_F(FileLayer, ReadsThatComeBackInPiecesStillDeliverEveryByte) {
  std::vector<uint8_t> bytes = Pattern(3 * kFileChunkBytes + 17), back;
  ASSERT_TRUE(test::WriteFileBytes(dir / L"f.bin", bytes.data(), bytes.size()));
  Seam::readPiece = 4093;
  ASSERT_EQ(ReadWholeFile(dir / L"f.bin", back, 1u << 30, io), FileRead::Ok);
  EXPECT_TRUE(back == bytes);
  EXPECT_GT(Seam::calls.size(), 700u);
  for (DWORD n : Seam::calls) EXPECT_LE(n, kFileChunkBytes);
}

// Every step of the rule that can fail, for bytes at hand and for a writer's
// own steps: the earlier file as it was, no temporary file, nothing written
// after the failure, and the failing call's code.
TEST_F(FileLayer, AFailedWriteFlushOrMoveLeavesTheEarlierFileAndNoTemporaryFile) {
  const std::vector<uint8_t> bytes = Pattern(2 * kFileChunkBytes + 9);
  struct Case {
    const char* what;
    void (*fail)();
    FileWrite outcome;
    size_t writes;  // calls made, the failing one included
    bool coded;     // the failing call leaves a code (a short write does not)
  } cases[] = {{"a failed write", [] { Seam::failWrite = 1; }, FileWrite::WriteFailed, 2, true},
               {"a short write", [] { Seam::shortWrite = 1; }, FileWrite::WriteFailed, 2, false},
               {"a failed flush", [] { Seam::failFlush = true; }, FileWrite::WriteFailed, 3, true},
               {"a failed move", [] { Seam::failMove = true; }, FileWrite::NotReplaced, 3, true}};
  const std::wstring target = dir / L"f.bin";
  for (bool streamed : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << (streamed ? ", streamed" : ""));
      ASSERT_TRUE(test::WriteFileBytes(target, "old", 3));
      Seam seam;
      c.fail();
      uint32_t error = 0;
      if (streamed) {  // a write of its own that fails gives the replacement up
        WholeFileReplacement replacement(target, io);
        const HANDLE file = replacement.Begin();
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        if (!WriteAll(file, bytes.data(), bytes.size(), io)) {
          error = GetLastError();
        } else {
          EXPECT_EQ(replacement.Commit(), c.outcome);
          error = replacement.Error();
        }
      } else {
        EXPECT_EQ(ReplaceWholeFile(target, bytes, error, io), c.outcome);
      }
      EXPECT_EQ(Seam::writes.size(), c.writes);
      if (c.coded) {
        EXPECT_NE(error, 0u);
      }
      EXPECT_EQ(test::ReadText(target), "old");
      EXPECT_EQ(test::FolderNames(dir.Path()), std::vector<std::wstring>{L"f.bin"});
    }
  }
}

TEST_F(FileLayer, AReadOnlyFileIsNeverReplaced) {
  ASSERT_TRUE(test::WriteFileBytes(dir / L"ro.bin", "keep", 4));
  SetFileAttributesW((dir / L"ro.bin").c_str(), FILE_ATTRIBUTE_READONLY);
  const uint8_t other[] = {1, 2, 3};
  uint32_t error = 0;
  EXPECT_EQ(ReplaceWholeFile(dir / L"ro.bin", other, error, io), FileWrite::NotReplaced);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Seam::calls.empty()) << "refused before anything is written";
  std::vector<uint8_t> back;
  ASSERT_EQ(ReadWholeFile(dir / L"ro.bin", back, 100, io), FileRead::Ok);
  EXPECT_EQ(std::string(back.begin(), back.end()), "keep");
  SetFileAttributesW((dir / L"ro.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(IsReadOnlyFile(dir / L"ro.bin"));
  EXPECT_FALSE(IsReadOnlyFile(dir / L"missing.bin"));
}

TEST_F(FileLayer, WholeReadsRefuseMissingLargeAndFailingFiles) {
  std::vector<uint8_t> bytes = Pattern(1000), back = {9};
  ASSERT_TRUE(test::WriteFileBytes(dir / L"f.bin", bytes.data(), bytes.size()));
  EXPECT_EQ(ReadWholeFile(dir / L"missing.bin", back, 5000, io), FileRead::CannotOpen);
  EXPECT_TRUE(back.empty());
  EXPECT_EQ(ReadWholeFile(dir / L"f.bin", back, 999, io), FileRead::TooLarge);
  EXPECT_EQ(ReadWholeFile(dir / L"f.bin", back, 1000, io), FileRead::Ok);
  Seam::Clear();
  Seam::failRead = 0;
  EXPECT_EQ(ReadWholeFile(dir / L"f.bin", back, 1000, io), FileRead::ReadFailed);
  EXPECT_TRUE(back.empty());
  // A file that ends before the asked length.
  UniqueFile f(CreateFileW((dir / L"f.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::vector<uint8_t> more(1001);
  Seam::failRead = -1;
  EXPECT_FALSE(ReadFully(f.Get(), more.data(), more.size(), io));
}

TEST_F(FileLayer, MoveOverReplacesInOneStep) {
  ASSERT_TRUE(test::WriteFileBytes(dir / L"new.tmp", "new", 3));
  ASSERT_TRUE(test::WriteFileBytes(dir / L"old.bin", "old", 3));
  EXPECT_TRUE(MoveOver(dir / L"new.tmp", dir / L"old.bin"));
  EXPECT_EQ(test::ReadText(dir / L"old.bin"), "new");
  EXPECT_FALSE(FileExists(dir / L"new.tmp"));
  EXPECT_FALSE(MoveOver(dir / L"new.tmp", dir / L"old.bin"));
  // A read-only file is not replaced (Wine run as root would replace it).
  ASSERT_TRUE(test::WriteFileBytes(dir / L"new.tmp", "newer", 5));
  ASSERT_TRUE(SetFileAttributesW((dir / L"old.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(MoveOver(dir / L"new.tmp", dir / L"old.bin"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetFileAttributesW((dir / L"old.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(test::ReadText(dir / L"old.bin"), "new");
  EXPECT_EQ(test::ReadText(dir / L"new.tmp"), "newer");
}

// Whole or absent: the target as it was, and no temporary file, after every failure.
TEST_F(FileLayer, ReplaceWholeFileLeavesTheNewFileOrTheOldOne) {
  enum class Before { Absent, Present, ReadOnly, FolderAtTemporaryName, NoFolder };
  struct Case {
    const char* what;
    Before before;
    bool replaced;
  } cases[] = {{"new file", Before::Absent, true},
               {"older file", Before::Present, true},
               {"read-only file", Before::ReadOnly, false},
               {"a folder in the temporary file's place", Before::FolderAtTemporaryName, false},
               {"missing folder", Before::NoFolder, false}};
  const std::vector<uint8_t> bytes = Pattern(kFileChunkBytes + 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir here;
    const std::wstring target = c.before == Before::NoFolder ? here / L"gone\\f.bin" : here / L"f.bin";
    if (c.before != Before::Absent && c.before != Before::NoFolder) {
      ASSERT_TRUE(test::WriteFileBytes(target, "old", 3));
    }
    if (c.before == Before::ReadOnly) {
      ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (c.before == Before::FolderAtTemporaryName) {
      ASSERT_TRUE(CreateDirectoryW((target + L".tmp").c_str(), nullptr));
    }
    uint32_t error = 0;
    EXPECT_EQ(ReplaceWholeFile(target, bytes, error) == FileWrite::Ok, c.replaced);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (c.replaced) {
      std::vector<uint8_t> back;
      ASSERT_EQ(ReadWholeFile(target, back, 1u << 30), FileRead::Ok);
      EXPECT_TRUE(back == bytes);
    } else {
      EXPECT_NE(error, 0u);
      EXPECT_EQ(test::ReadText(target), c.before == Before::NoFolder || c.before == Before::Absent ? "" : "old");
    }
    const std::vector<std::wstring> left = test::FolderNames(here.Path());
    const std::vector<std::wstring> expected =
        c.before == Before::NoFolder                ? std::vector<std::wstring>{}
        : c.before == Before::FolderAtTemporaryName ? std::vector<std::wstring>{L"f.bin", L"f.bin.tmp"}
                                                    : std::vector<std::wstring>{L"f.bin"};
    EXPECT_EQ(left, expected);
  }
}

TEST(CreateFolderChain, CreatesMissingLevels) {
  TempDir dir;
  CreateDirectoryW((dir / L"A").c_str(), nullptr);
  EXPECT_TRUE(CreateFolderChain(dir / L"A\\B\\C"));
  EXPECT_TRUE(FileExists(dir / L"A\\B\\C"));
  EXPECT_TRUE(CreateFolderChain(dir / L"A\\B\\C"));  // all there already
  EXPECT_TRUE(CreateFolderChain(dir / L"X\\Y\\"));   // trailing backslash
  EXPECT_TRUE(FileExists(dir / L"X\\Y"));
}

TEST(CreateFolderChain, AFileInTheWayFails) {
  TempDir dir;
  CreateDirectoryW((dir / L"A").c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(dir / L"A\\B", "x", 1));
  EXPECT_FALSE(CreateFolderChain(dir / L"A\\B\\C"));
  EXPECT_FALSE(FileExists(dir / L"A\\B\\C"));
}

TEST(CreateFolderChain, ShortPathsAndDriveRoots) {
  EXPECT_TRUE(CreateFolderChain(L""));
  EXPECT_TRUE(CreateFolderChain(L"C:"));
  EXPECT_TRUE(CreateFolderChain(L"C:\\"));
}

TEST(FullPaths, IsDirectlyIn) {
  wchar_t current[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  const std::wstring here = FullFolderPath(current);
  const struct {
    std::wstring path, folder;
    bool in;
  } cases[] = {
      {L"C:\\Games\\Tarnfell\\uninstall.exe", L"C:\\Games\\Tarnfell", true},
      {L"C:\\Games\\Tarnfell\\uninstall.exe", L"c:\\games\\TARNFELL\\", true},  // case, trailing backslash
      {L"C:\\Games\\Tarnfell\\sub\\uninstall.exe", L"C:\\Games\\Tarnfell", false},
      {L"C:\\Games\\Tarnfell2\\uninstall.exe", L"C:\\Games\\Tarnfell", false},
      {L"C:\\Games\\uninstall.exe", L"C:\\Games\\Tarnfell", false},
      {L"C:\\Games\\Tarnfell\\..\\uninstall.exe", L"C:\\Games", true},
      {L"C:\\uninstall.exe", L"C:\\", true},  // a drive's top folder
      {L"uninstall.exe", here, true},         // relative: the current folder
      {L"", L"C:\\Games", false},
      {L"C:\\Games\\uninstall.exe", L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.path) + " in " + Narrow(c.folder));
    EXPECT_EQ(IsDirectlyIn(c.path, c.folder), c.in);
  }
}

}  // namespace
}  // namespace tf
