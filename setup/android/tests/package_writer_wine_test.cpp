// Listing the game files and writing the package: names and order, the
// streamed pack with its CRC patch and digest, every failure of the pass
// (through the file calls the writer is given), cancellation, and the zip limits.
#include "android/zip_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "android/apk_template.h"
#include "android/crc32.h"
#include "android/game_files.h"
#include "android/package_builder.h"
#include "android_wine_support.h"
#include "common/tests/file_seam.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "win_test_support.h"

namespace tf::android {
namespace {

std::vector<std::string> NamesOf(const std::vector<GameFile>& files) {
  std::vector<std::string> names;
  for (const GameFile& f : files) names.push_back(f.name);
  return names;
}

TEST(GameFiles, NamesSizesAndOrder) {
  TempDir dir;
  ASSERT_TRUE(testing::LayOutGameFolder(dir.Path()));
  std::vector<GameFile> files;
  std::string error;
  ASSERT_TRUE(CollectGameFiles(dir.Path(), GamePackNames, kGamePackNameCount, files, error)) << error;
  std::vector<std::string> names = NamesOf(files);
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"AUDMUSIC/track01.wma", "AUDSoundFX/hit.wav", "GFX/KITCHEN/deeper/empty.bin",
                                               "GFX/KITCHEN/kitchen.xmf", "GFX/menu.xpr", "arabic_font.bin",
                                               "default.xbe"}));
  // Table order; a folder's tree stays together.
  ASSERT_EQ(names.size(), 7u);
  EXPECT_EQ(names[0], "default.xbe");
  EXPECT_EQ(names[4], "AUDMUSIC/track01.wma");
  EXPECT_EQ(names[5], "AUDSoundFX/hit.wav");
  EXPECT_EQ(names[6], "arabic_font.bin");
  auto kitchen = std::find(names.begin(), names.end(), "GFX/KITCHEN/kitchen.xmf") - names.begin();
  auto deeper = std::find(names.begin(), names.end(), "GFX/KITCHEN/deeper/empty.bin") - names.begin();
  EXPECT_EQ(std::abs(kitchen - deeper), 1);
  for (const GameFile& f : files) {
    EXPECT_EQ(f.size, test::FileSize(f.sourcePath)) << f.name;
    EXPECT_EQ(f.sourcePath.substr(0, dir.Path().size() + 1), dir.Path() + L"\\");
  }
  // Only the first names of the table are looked at.
  files.clear();
  ASSERT_TRUE(CollectGameFiles(dir.Path(), GamePackNames, 1, files, error));
  EXPECT_EQ(NamesOf(files), std::vector<std::string>{"default.xbe"});
}

// Lists a folder's items under another name: the file "long" is reported with
// the name given here, which the file system under test could not hold.
struct RenamingFind {
  static inline std::wstring name;
  static void Rename(WIN32_FIND_DATAW* d) {
    if (std::wstring(d->cFileName) == L"long") wcscpy(d->cFileName, name.c_str());
  }
  static HANDLE WINAPI First(LPCWSTR pattern, LPWIN32_FIND_DATAW d) {
    HANDLE h = ::FindFirstFileW(pattern, d);
    if (h != INVALID_HANDLE_VALUE) Rename(d);
    return h;
  }
  static BOOL WINAPI Next(HANDLE h, LPWIN32_FIND_DATAW d) {
    BOOL ok = ::FindNextFileW(h, d);
    if (ok) Rename(d);
    return ok;
  }
};

// The install folder's name lies outside the ANSI code page: the message
// names the file intact, and so does the user's text made of it.
TEST(GameFiles, ANameTooLongForThePackFailsNamingTheFile) {
  TempDir dir;
  const std::wstring install = dir / L"\u0418\u0433\u0440\u0430";
  ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
  ASSERT_TRUE(testing::LayOut(install, {{"GFX/sub/long", 3}, {"GFX/a.bin", 2}}));
  const FolderListing renaming{RenamingFind::First, RenamingFind::Next};
  const std::wstring euros(86, L'\u20AC');  // 258 UTF-8 bytes
  struct Case {
    std::wstring name;
    bool fits;
  } cases[] = {{euros + L"a", true}, {euros + L"ab", false}, {euros + L"\u00E9", false}};
  for (const Case& c : cases) {
    RenamingFind::name = c.name;
    std::vector<GameFile> files;
    std::string error;
    EXPECT_EQ(CollectGameFiles(install, GamePackNames, kGamePackNameCount, files, error, renaming), c.fits);
    if (c.fits) {
      EXPECT_EQ(files.size(), 2u);
    } else {
      const std::wstring path = install + L"\\GFX\\sub\\" + c.name;
      EXPECT_EQ(error, "The name of \"" + test::Utf8(path) + "\" is too long for the Android package.");
      EXPECT_EQ(UserText(error), L"The name of \"" + path + L"\" is too long for the Android package.");
    }
  }
}

using Seam = test::FileSeam;

struct Report {
  std::wstring text;
  uint64_t done, total;
};
struct Recorder {
  std::vector<Report> reports;
  size_t stopAfter = SIZE_MAX;
  static bool Callback(void* context, const std::wstring& text, uint64_t done, uint64_t total) {
    auto* r = static_cast<Recorder*>(context);
    r->reports.push_back({text, done, total});
    return r->reports.size() < r->stopAfter;
  }
};

class PackWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::LayOutGameFolder(dir / L"game"));
    std::string error;
    ASSERT_TRUE(CollectGameFiles(dir / L"game", GamePackNames, kGamePackNameCount, files, error)) << error;
    ASSERT_TRUE(PreparePak(files, index, pakLength, error)) << error;
  }
  // A stored entry, the pack, another stored entry, the directory; the
  // package replaces its file whole, as the build's does.
  bool Write(std::string& error, Recorder* recorder = nullptr) {
    WholeFileReplacement out(package, Seam::Calls());
    const HANDLE file = out.Begin();
    if (file == INVALID_HANDLE_VALUE) return false;
    ZipWriter zip(file, Seam::Calls());
    Sha256Digest unused;
    return zip.AddStoredEntry("first", "abc", 3, error) &&
           zip.WritePakEntry(files, index, pakLength, recorder ? Recorder::Callback : nullptr, recorder,
                             recorder ? digest : unused, error) &&
           zip.AddStoredEntry("META-INF/LAST", "", 0, error) && zip.Finish(error) && out.Commit() == FileWrite::Ok;
  }

  Seam seam;
  TempDir dir;
  std::wstring package = dir / L"out.apk";
  std::vector<GameFile> files;
  std::vector<uint8_t> index;
  uint64_t pakLength = 0;
  Sha256Digest digest{};
};

TEST_F(PackWriter, OnePassWithThePatchedCrcAndTheDigest) {
  Recorder recorder;
  std::string error;
  ASSERT_TRUE(Write(error, &recorder)) << error;
  std::vector<uint8_t> zip;
  ASSERT_TRUE(test::ReadFileBytes(package, zip));
  std::vector<testing::ZipItem> items;
  ASSERT_TRUE(testing::ListZip(zip, items));
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].name, "assets/game.pak");
  EXPECT_EQ(items[2].localOffset, items[1].localOffset + 30 + 15 + pakLength);
  std::vector<uint8_t> pak = testing::ItemBytes(zip, items[1]);
  for (const testing::ZipItem& item : items) {
    EXPECT_EQ(item.localCrc, item.crc) << item.name;
    std::vector<uint8_t> bytes = testing::ItemBytes(zip, item);
    EXPECT_EQ(Crc32(bytes.data(), bytes.size()), item.crc) << item.name;
  }
  Sha256Digest expected;
  ASSERT_TRUE(Sha256(pak.data(), pak.size(), expected));
  EXPECT_EQ(digest, expected);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> packed;
  ASSERT_TRUE(testing::ParsePak(pak, packed));
  ASSERT_EQ(packed.size(), files.size());
  uint64_t done = 0, total = 0;
  for (const GameFile& f : files) total += f.size;
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(packed[i].first, files[i].name);
    EXPECT_TRUE(packed[i].second == testing::FileContent(files[i].name, files[i].size)) << files[i].name;
    done += files[i].size;
    ASSERT_LT(i, recorder.reports.size());
    EXPECT_EQ(recorder.reports[i].text, L"Packing the game into the Android app\u2026");
    EXPECT_EQ(recorder.reports[i].done, done);
    EXPECT_EQ(recorder.reports[i].total, total);
  }
  EXPECT_EQ(recorder.reports.size(), files.size()) << "one report per file";
  // Reads of at most one mebibyte: 1 MiB + 1 bytes take two, 2.5 MB three, an empty file none.
  EXPECT_EQ(Seam::reads.size(), 9u);
}

TEST_F(PackWriter, FailuresOfThePass) {
  std::string error;
  ASSERT_TRUE(Write(error));
  const int writes = static_cast<int>(Seam::writes.size()), reads = static_cast<int>(Seam::reads.size());
  struct Case {
    int failRead, failWrite;
    const char* message;
  } cases[] = {{-1, 0, "Writing the Android package failed."},          // the first header
               {-1, 2, "Writing the Android package failed."},          // the pack's local header
               {-1, 4, "Writing the Android package failed."},          // game data
               {-1, writes - 3, "Writing the Android package failed."}, // the CRC patch
               {-1, writes - 2, "Writing the Android package failed."}, // the last entry's header
               {-1, writes - 1, "Writing the Android package failed."}, // the directory
               {0, -1, "A game file ended early while packing."},
               {reads - 1, -1, "A game file ended early while packing."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.failRead) + " " + ::testing::PrintToString(c.failWrite));
    Seam::Clear();
    Seam::failRead = c.failRead;
    Seam::failWrite = c.failWrite;
    error.clear();
    EXPECT_FALSE(Write(error));
    EXPECT_EQ(error, c.message);
  }
  // Any read and any write, whichever thread makes it (a file's first chunk is
  // read on the building thread, the chunks after it beside the hashing).
  for (int i = 0; i < reads + writes; ++i) {
    SCOPED_TRACE(i);
    Seam::Clear();
    Seam::failRead = i < reads ? i : -1;
    Seam::failWrite = i < reads ? -1 : i - reads;
    error.clear();
    EXPECT_FALSE(Write(error));
    EXPECT_EQ(error, i < reads ? "A game file ended early while packing." : "Writing the Android package failed.");
  }
  // A failed write of game data ends the pass before the next chunk is read
  // (the write runs beside the hashing of its chunk, never ahead of the reads).
  Seam::Clear();
  Seam::failRead = -1;
  Seam::failWrite = 5;  // the second chunk of game data
  EXPECT_FALSE(Write(error));
  EXPECT_EQ(error, "Writing the Android package failed.");
  EXPECT_EQ(Seam::reads.size(), 2u);
  EXPECT_EQ(Seam::writes.size(), 6u);
}

TEST_F(PackWriter, FilesThatChangeAfterListing) {
  std::string error;
  // Grown: only the listed bytes go in.
  std::vector<uint8_t> more = testing::FileContent("x", 10);
  HANDLE h = CreateFileW(files[0].sourcePath.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD wrote = 0;
  ASSERT_TRUE(WriteFile(h, more.data(), 10, &wrote, nullptr));
  CloseHandle(h);
  ASSERT_TRUE(Write(error)) << error;
  std::vector<uint8_t> zip;
  std::vector<testing::ZipItem> items;
  ASSERT_TRUE(test::ReadFileBytes(package, zip) && testing::ListZip(zip, items));
  EXPECT_EQ(items[1].size, pakLength);
  // Shrunk, and gone.
  ASSERT_TRUE(test::WriteFileBytes(dir / L"game\\GFX\\menu.xpr", "ab", 2));
  EXPECT_FALSE(Write(error));
  EXPECT_EQ(error, "A game file ended early while packing.");
  ASSERT_TRUE(DeleteFileW(files[0].sourcePath.c_str()));
  EXPECT_FALSE(Write(error));
  EXPECT_EQ(error, "A game file could not be read while packing.");
}

TEST_F(PackWriter, TheCallbackStopsThePackAtOnce) {
  Recorder recorder;
  recorder.stopAfter = 1;
  std::string error;
  EXPECT_FALSE(Write(error, &recorder));
  EXPECT_EQ(error, "cancelled");
  EXPECT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(Seam::reads.size(), 1u) << "no file read after the stop";
}

TEST_F(PackWriter, AReadOnlyPackageFileIsNotReplaced) {
  ASSERT_TRUE(test::WriteFileBytes(package, "old", 3));
  ASSERT_TRUE(SetFileAttributesW(package.c_str(), FILE_ATTRIBUTE_READONLY));
  std::string error;
  EXPECT_FALSE(Write(error));
  SetFileAttributesW(package.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(test::FileSize(package), 3u);
  EXPECT_FALSE(FileExists(package + L".tmp"));
}

TEST(Digests, Sha256AndBase64OfKnownInputs) {
  struct Case {
    std::string input, base64;
  } cases[] = {{"", "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU="},
               {"abc", "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0="},
               {std::string(1000000, 'a'), "zcduXJkU+5KBocfihNc+Z/GAmkiklyAOBG05zMcRLNA="}};
  for (const Case& c : cases) {
    Sha256Digest digest;
    ASSERT_TRUE(Sha256(c.input.data(), c.input.size(), digest));
    EXPECT_EQ(Base64Text(digest), c.base64);
    // Fed in uneven pieces, the same value.
    Sha256Hash hash;
    ASSERT_TRUE(hash.Open());
    for (size_t at = 0, n = 1; at < c.input.size(); at += n, n = n * 3 + 1)
      ASSERT_TRUE(hash.Update(c.input.data() + at, std::min(n, c.input.size() - at)));
    Sha256Digest pieces;
    ASSERT_TRUE(hash.Finish(pieces));
    EXPECT_EQ(pieces, digest);
  }
  // Padding, and one line however long the input.
  EXPECT_EQ(Base64Text("f", 1), "Zg==");
  EXPECT_EQ(Base64Text("fo", 2), "Zm8=");
  EXPECT_EQ(Base64Text("foobar", 6), "Zm9vYmFy");
  std::string line = Base64Text(std::string(300, 'x').data(), 300);
  EXPECT_EQ(line.size(), 400u);
  EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
}

TEST(PackageBuild, CancellingCountsOnlyWhileThePackIsWritten) {
  TempDir dir;
  ASSERT_TRUE(testing::LayOutGameFolder(dir / L"game"));
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  for (size_t stopAfter : {7, 8}) {  // at the last file's report; at the signing report
    Recorder recorder;
    recorder.stopAfter = stopAfter;
    std::string error;
    bool built = BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), dir / L"k.pfx",
                                     dir / L"game", GamePackNames, kGamePackNameCount, dir / L"p.apk",
                                     Recorder::Callback, &recorder, error);
    ASSERT_EQ(recorder.reports.size(), stopAfter);
    if (stopAfter == 7) {
      EXPECT_FALSE(built);
      EXPECT_EQ(error, "cancelled");
    } else {
      EXPECT_TRUE(built) << error;
      EXPECT_EQ(recorder.reports.back().text, L"Signing the Android app\u2026");
      EXPECT_EQ(recorder.reports.back().done, recorder.reports.back().total);
    }
  }
}

// Writes that fail only off the test's thread: the pack's chunks, written
// beside their hashing.
struct BackgroundWriteFailure {
  static inline DWORD testThread = 0;
  static inline int failAt = -1, seen = 0;  // among the writes made off the test's thread
  static BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD size, LPDWORD wrote, LPOVERLAPPED overlapped) {
    if (GetCurrentThreadId() != testThread && seen++ == failAt) {
      *wrote = 0;
      SetLastError(ERROR_DISK_FULL);
      return FALSE;
    }
    return ::WriteFile(file, data, size, wrote, overlapped);
  }
};

// Every way the pack can stop, on either thread: the earlier package stays
// as it was and no temporary file is left.
TEST(PackageBuild, AStoppedPackLeavesTheEarlierPackageAndNoTemporaryFile) {
  TempDir dir;
  ASSERT_TRUE(testing::LayOutGameFolder(dir / L"game"));
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  const std::wstring package = dir / L"Tarnfell.apk";
  test::FileSeam seam;
  FileCalls calls = test::FileSeam::Calls();
  calls.write = BackgroundWriteFailure::Write;
  auto build = [&](std::string& error, Recorder* recorder = nullptr) {
    return BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), dir / L"k.pfx",
                               dir / L"game", GamePackNames, kGamePackNameCount, package,
                               recorder ? Recorder::Callback : nullptr, recorder, error, {}, calls);
  };
  BackgroundWriteFailure::testThread = GetCurrentThreadId();
  BackgroundWriteFailure::failAt = -1;
  BackgroundWriteFailure::seen = 0;
  std::string error;
  ASSERT_TRUE(build(error)) << error;
  const int reads = static_cast<int>(test::FileSeam::reads.size()), chunks = BackgroundWriteFailure::seen;
  ASSERT_GT(chunks, 1) << "the pack's chunks are written off the building thread";
  std::vector<uint8_t> earlier;
  ASSERT_TRUE(test::ReadFileBytes(package, earlier));

  struct Case {
    int failRead, failChunkWrite;
    size_t stopAfter;
    const char* message;
  } cases[] = {{-1, 0, SIZE_MAX, "Writing the Android package failed."},
               {-1, chunks - 1, SIZE_MAX, "Writing the Android package failed."},
               {0, -1, SIZE_MAX, "A game file ended early while packing."},
               {reads - 1, -1, SIZE_MAX, "A game file ended early while packing."},
               {-1, -1, 1, "cancelled"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message + (" " + ::testing::PrintToString(c.failRead) + " " +
                              ::testing::PrintToString(c.failChunkWrite)));
    test::FileSeam::Clear();
    test::FileSeam::failRead = c.failRead;
    BackgroundWriteFailure::failAt = c.failChunkWrite;
    BackgroundWriteFailure::seen = 0;
    Recorder recorder;
    recorder.stopAfter = c.stopAfter;
    error.clear();
    EXPECT_FALSE(build(error, &recorder));
    EXPECT_EQ(error, c.message);
    std::vector<uint8_t> now;
    ASSERT_TRUE(test::ReadFileBytes(package, now));
    EXPECT_TRUE(now == earlier);
    EXPECT_FALSE(FileExists(package + L".tmp"));
  }
}

// A finished package that cannot be flushed or moved into place (a folder
// stands there, the disk is gone, the old package is held open): the build
// fails with the reason, the old package stays as it was and the temporary
// file is gone.
TEST(PackageBuild, APackageThatCannotBePutInPlaceLeavesTheEarlierOneAndNoTemporaryFile) {
  TempDir dir;
  ASSERT_TRUE(testing::LayOutGameFolder(dir / L"game"));
  const std::wstring package = dir / L"Tarnfell.apk";
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  const struct {
    const char* what;
    bool folder, failFlush, failMove;
    const char* message;  // its start
  } cases[] = {
      {"a folder in its place", true, false, false, "The finished Android package could not be put in place (error "},
      {"a failed flush", false, true, false, "Writing the Android package failed."},
      {"a failed move", false, false, true, "The finished Android package could not be put in place (error "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.folder) {
      ASSERT_TRUE(CreateDirectoryW(package.c_str(), nullptr));
    } else {
      ASSERT_TRUE(test::WriteFileBytes(package, "earlier", 7));
    }
    test::FileSeam seam;
    test::FileSeam::failFlush = c.failFlush;
    test::FileSeam::failMove = c.failMove;
    std::string error;
    EXPECT_FALSE(BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()),
                                     dir / L"k.pfx", dir / L"game", GamePackNames, kGamePackNameCount, package,
                                     nullptr, nullptr, error, {}, test::FileSeam::Calls()));
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    EXPECT_FALSE(FileExists(package + L".tmp"));
    if (c.folder) {
      EXPECT_NE(GetFileAttributesW(package.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
      ASSERT_TRUE(RemoveDirectoryW(package.c_str()));
    } else {
      EXPECT_EQ(test::ReadText(package), "earlier");
    }
  }
}

// Sparse game files stand for data too large for the package: refused before
// the package file is created.
TEST(PackageLimits, TooLargeIsRefusedBeforeAnythingIsWritten) {
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  ASSERT_FALSE(templateBytes.empty());
  std::vector<TemplateEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadApkTemplate(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), entries, error));
  uint64_t templateEnd = 0;
  for (const TemplateEntry& e : entries) templateEnd += 30 + e.name.size() + e.size;
  // A pack of one file "default.xbe" (a 33-byte index) whose entry ends at the
  // last offset a zip field takes: the entry fits, the META-INF files and the
  // directory behind it do not.
  const uint64_t packEndsAtTheLimit = 0xFFFFFFFEull - templateEnd - 30 - 15 - 33;
  struct Case {
    uint64_t size;
    const char* message;
  } cases[] = {{0x100000000ull, "The game data is too large for one package."},
               {0xFFFFFF00ull, "The Android package would be too large for a zip file."},
               {packEndsAtTheLimit, "The Android package would be too large for a zip file."}};
  for (const Case& c : cases) {
    TempDir dir;
    UniqueFile big(CreateFileW((dir / L"default.xbe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(c.size);
    ASSERT_TRUE(SetFilePointerEx(big.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(big.Get()));
    big.Reset();
    std::wstring package = dir / L"Tarnfell.apk";
    EXPECT_FALSE(BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()),
                                     dir / L"k.pfx", dir.Path(), GamePackNames, kGamePackNameCount, package, nullptr,
                                     nullptr, error));
    EXPECT_EQ(error, c.message);
    EXPECT_FALSE(FileExists(package) || FileExists(package + L".tmp"));
  }
}

}  // namespace
}  // namespace tf::android
