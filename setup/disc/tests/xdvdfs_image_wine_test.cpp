// XdvdfsImage on real files: opening at both bases, damaged files and extraction.
#include <gtest/gtest.h>

#include "common/tests/file_seam.h"
#include "disc/xdvdfs_image.h"
#include "table_builder.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::TempDir;
using testing::RawEntry;
using testing::Table;
using testing::VolumeImage;

constexpr uint32_t MiB = 1u << 20;

// Writes bytes at an offset of a new file (leaving a hole before it).
bool WriteImageFile(const std::wstring& path, const std::vector<uint8_t>& bytes, uint64_t at = 0) {
  UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(at);
  DWORD wrote = 0;
  return SetFilePointerEx(f.Get(), to, nullptr, FILE_BEGIN) &&
         WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) && wrote == bytes.size();
}

struct PlannedFile {
  std::string name;
  uint32_t size;
};

// Root: the files, then folder "GFX" holding "sub\\inner.bin" (7 bytes).
// File data from sector 200 on, each file starting on its own sector.
VolumeImage ImageWithFiles(const std::vector<PlannedFile>& files, std::vector<std::vector<uint8_t>>* contents = nullptr) {
  VolumeImage img;
  uint32_t sector = 200;
  std::vector<RawEntry> rootEntries;
  uint8_t seed = 1;
  for (const PlannedFile& f : files) {
    std::vector<uint8_t> data = testing::Pattern(f.size, seed++);
    img.Put(sector, data);
    if (contents) contents->push_back(data);
    rootEntries.push_back({f.name, sector, f.size, false});
    sector += (f.size + kSectorSize - 1) / kSectorSize + 1;
  }
  std::vector<uint8_t> inner = testing::Pattern(7, 99);
  img.Put(sector, inner);
  std::vector<uint8_t> sub = Table({{"inner.bin", sector, 7, false}});
  img.Put(40, sub);
  std::vector<uint8_t> gfx = Table({{"sub", 40, static_cast<uint32_t>(sub.size()), true}});
  img.Put(39, gfx);
  rootEntries.push_back({"GFX", 39, static_cast<uint32_t>(gfx.size()), true});
  std::vector<uint8_t> root = Table(rootEntries);
  img.SetRoot(root);
  img.Put(sector + 1, std::vector<uint8_t>(16, 0));
  return img;
}

TEST(XdvdfsImageFile, OpensAtBothBases) {
  TempDir dir;
  VolumeImage img = ImageWithFiles({{"a.bin", 100}});
  for (uint64_t base : {uint64_t{0}, uint64_t{0x18300000}}) {
    SCOPED_TRACE(base);
    std::wstring path = dir / L"disc.iso";
    ASSERT_TRUE(WriteImageFile(path, img.Bytes(), base));
    XdvdfsImage image;
    std::string error;
    ASSERT_TRUE(image.Open(path, error)) << error;
    EXPECT_EQ(image.VolumeBase(), base);
    EXPECT_EQ(image.VolumeTimestamp(), testing::kGameTimestamp);
    ASSERT_EQ(image.Entries().size(), 4u);
    EXPECT_EQ(image.Entries()[0].path, "a.bin");
    EXPECT_EQ(image.Entries()[0].offset, base + 200u * kSectorSize);
    EXPECT_EQ(image.Entries()[3].path, "GFX\\sub\\inner.bin");
    EXPECT_EQ(image.FileCount(), 2u);
    EXPECT_EQ(image.TotalFileBytes(), 107u);
    std::vector<uint8_t> got(100);
    ASSERT_TRUE(image.ReadAt(image.Entries()[0].offset, got.data(), 100));
    EXPECT_EQ(got, testing::Pattern(100, 1));
    image.Close();
    EXPECT_TRUE(image.Entries().empty());
  }
}

TEST(XdvdfsImageFile, DamagedAndForeignFiles) {
  TempDir dir;
  VolumeImage good = ImageWithFiles({{"a.bin", 100}});
  std::vector<uint8_t> truncated(good.Bytes().begin(), good.Bytes().begin() + 33 * kSectorSize + 10);
  VolumeImage rootPastEnd;
  rootPastEnd.SetRoot(std::vector<uint8_t>(100, 0xFF), 4096);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool create;
    const char* message;
  } cases[] = {
      {"missing file", {}, false, kMsgCannotOpen},
      {"empty file", {}, true, kMsgNoVolume},
      {"shorter than a descriptor", std::vector<uint8_t>(0x10000 + 2047, 0), true, kMsgNoVolume},
      {"not an Xbox image", testing::Pattern(3 * MiB, 5), true, kMsgNoVolume},
      {"root table cut off", truncated, true, kMsgTruncated},
      {"root table past the end", rootPastEnd.Bytes(), true, kMsgTruncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring path = dir / L"bad.iso";
    DeleteFileW(path.c_str());
    if (c.create) {
      ASSERT_TRUE(test::WriteFileBytes(path, c.bytes.data(), c.bytes.size()));
    }
    XdvdfsImage image;
    std::string error;
    EXPECT_FALSE(image.Open(path, error));
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(image.Entries().empty());
    // The same reader opens a good image afterwards.
    std::wstring goodPath = dir / L"good.iso";
    ASSERT_TRUE(WriteImageFile(goodPath, good.Bytes()));
    EXPECT_TRUE(image.Open(goodPath, error)) << error;
    EXPECT_EQ(image.Entries().size(), 4u);
  }
}

struct Call {
  std::string path;
  uint64_t done, total;
};
struct Recorder {
  std::vector<Call> calls;
  int cancelAtCall = -1;  // 1-based call number that returns false
};
bool Record(void* context, const char* path, uint64_t done, uint64_t total) {
  auto* r = static_cast<Recorder*>(context);
  r->calls.push_back({path ? path : "", done, total});
  return static_cast<int>(r->calls.size()) != r->cancelAtCall;
}

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    img_ = ImageWithFiles({{"one.bin", MiB}, {"two.bin", MiB + 1}, {"empty.bin", 0}}, &contents_);
    imagePath_ = dir_ / L"disc.iso";
    ASSERT_TRUE(WriteImageFile(imagePath_, img_.Bytes()));
    ASSERT_TRUE(image_.Open(imagePath_, error_)) << error_;
    dest_ = dir_ / L"out";
  }
  std::vector<const XdvdfsEntry*> All() {
    std::vector<const XdvdfsEntry*> v;
    for (const auto& e : image_.Entries()) v.push_back(&e);
    return v;
  }
  TempDir dir_;
  VolumeImage img_;
  std::vector<std::vector<uint8_t>> contents_;
  std::wstring imagePath_, dest_;
  XdvdfsImage image_;
  std::string error_;
};

TEST_F(Extraction, CopiesFilesInChunksWithProgress) {
  Recorder rec;
  auto selection = All();
  selection.insert(selection.begin() + 1, nullptr);
  ASSERT_TRUE(image_.ExtractFiles(selection, dest_, Record, &rec, error_)) << error_;
  const uint64_t total = MiB + MiB + 1 + 7;
  ASSERT_EQ(rec.calls.size(), 4u);  // one chunk, two chunks, none for the empty file, one
  EXPECT_EQ(rec.calls[0].path, "one.bin");
  EXPECT_EQ(rec.calls[0].done, MiB);
  EXPECT_EQ(rec.calls[1].done, 2ull * MiB);
  EXPECT_EQ(rec.calls[2].path, "two.bin");
  EXPECT_EQ(rec.calls[2].done, 2ull * MiB + 1);
  EXPECT_EQ(rec.calls[3].path, "GFX\\sub\\inner.bin");
  EXPECT_EQ(rec.calls[3].done, total);
  for (const Call& c : rec.calls) EXPECT_EQ(c.total, total);

  std::vector<uint8_t> got;
  ASSERT_TRUE(test::ReadFileBytes(dest_ + L"\\one.bin", got));
  EXPECT_EQ(got, contents_[0]);
  ASSERT_TRUE(test::ReadFileBytes(dest_ + L"\\two.bin", got));
  EXPECT_EQ(got, contents_[1]);
  EXPECT_TRUE(test::FileExists(dest_ + L"\\empty.bin"));
  EXPECT_EQ(test::FileSize(dest_ + L"\\empty.bin"), 0u);
  ASSERT_TRUE(test::ReadFileBytes(dest_ + L"\\GFX\\sub\\inner.bin", got));
  EXPECT_EQ(got, testing::Pattern(7, 99));
}

TEST_F(Extraction, EmptySelectionsTouchNothing) {
  Recorder rec;
  std::vector<const XdvdfsEntry*> foldersOnly;
  for (const auto& e : image_.Entries())
    if (e.isDirectory) foldersOnly.push_back(&e);
  foldersOnly.push_back(nullptr);
  EXPECT_TRUE(image_.ExtractFiles({}, dest_, Record, &rec, error_));
  EXPECT_TRUE(image_.ExtractFiles(foldersOnly, dest_, Record, &rec, error_));
  EXPECT_TRUE(rec.calls.empty());
  EXPECT_FALSE(test::FileExists(dest_));
}

TEST_F(Extraction, CancelAfterTheLastChunkDeletesThatFile) {
  Recorder rec;
  rec.cancelAtCall = 3;  // the second chunk of two.bin, its last
  error_.clear();
  EXPECT_FALSE(image_.ExtractFiles(All(), dest_, Record, &rec, error_));
  EXPECT_EQ(error_, "Installation cancelled.");
  EXPECT_TRUE(test::FileExists(dest_ + L"\\one.bin"));
  EXPECT_FALSE(test::FileExists(dest_ + L"\\two.bin"));
  EXPECT_FALSE(test::FileExists(dest_ + L"\\empty.bin"));
}

TEST_F(Extraction, ReadOnlyExistingFileCannotBeReplaced) {
  CreateDirectoryW(dest_.c_str(), nullptr);
  std::wstring target = dest_ + L"\\one.bin";
  ASSERT_TRUE(test::WriteFileBytes(target, "old", 3));
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(image_.ExtractFiles(All(), dest_, nullptr, nullptr, error_));
  EXPECT_EQ(error_,
            "Could not write to the install folder. Try running the installer as administrator, or choose a "
            "different location.");
  EXPECT_EQ(test::FileSize(target), 3u);
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Extraction, ExistingFileIsReplacedAndTrailingBackslashWorks) {
  CreateDirectoryW(dest_.c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(dest_ + L"\\one.bin", "old content that is longer", 26));
  ASSERT_TRUE(image_.ExtractFiles(All(), dest_ + L"\\", nullptr, nullptr, error_)) << error_;
  std::vector<uint8_t> got;
  ASSERT_TRUE(test::ReadFileBytes(dest_ + L"\\one.bin", got));
  EXPECT_EQ(got, contents_[0]);
  EXPECT_TRUE(test::FileExists(dest_ + L"\\GFX\\sub\\inner.bin"));
}

TEST_F(Extraction, DataPastTheEndLeavesNoPartialFile) {
  XdvdfsEntry beyond{"GFX\\late.bin", img_.Bytes().size() - 100, 3 * MiB, false};
  XdvdfsEntry straddling{"GFX\\cut.bin", 200u * kSectorSize, static_cast<uint32_t>(img_.Bytes().size()), false};
  for (const XdvdfsEntry* e : {&beyond, &straddling}) {
    SCOPED_TRACE(e->path);
    EXPECT_FALSE(image_.ExtractFiles({e}, dest_, nullptr, nullptr, error_));
    EXPECT_EQ(error_, "The disc image could not be read -- it may be damaged or incomplete.");
    EXPECT_FALSE(test::FileExists(dest_ + L"\\" + std::wstring(e->path.begin(), e->path.end())));
  }
}

TEST_F(Extraction, EntriesMadeElsewhereCannotLeaveTheDestination) {
  XdvdfsEntry escape{"GFX\\..\\..\\evil.bin", 200u * kSectorSize, 10, false};
  EXPECT_FALSE(image_.ExtractFiles({&escape}, dest_, nullptr, nullptr, error_));
  EXPECT_EQ(error_, kMsgCorruptTable);
  EXPECT_FALSE(test::FileExists(dir_ / L"evil.bin"));
}

// The image's reads go through the file layer: with every ReadFile handing
// out at most 1000 bytes, the volume, its tables and every extracted byte
// come out as from whole reads, and progress still comes once per chunk.
TEST_F(Extraction, ReadsThatComeBackInPiecesGiveTheSameFiles) {
  Recorder whole, pieces;
  ASSERT_TRUE(image_.ExtractFiles(All(), dest_, Record, &whole, error_)) << error_;
  const std::vector<XdvdfsEntry> entries = image_.Entries();
  ASSERT_EQ(contents_.size(), 3u);

  test::FileSeam seam;
  test::FileSeam::readPiece = 1000;
  XdvdfsImage image(test::FileSeam::Calls());
  ASSERT_TRUE(image.Open(imagePath_, error_)) << error_;
  EXPECT_FALSE(test::FileSeam::calls.empty()) << "the image is read through the layer";
  ASSERT_EQ(image.Entries().size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(image.Entries()[i].path, entries[i].path);
    EXPECT_EQ(image.Entries()[i].offset, entries[i].offset);
    EXPECT_EQ(image.Entries()[i].size, entries[i].size);
  }
  std::vector<const XdvdfsEntry*> all;
  for (const auto& e : image.Entries()) all.push_back(&e);
  const std::wstring second = dir_ / L"pieces";
  ASSERT_TRUE(image.ExtractFiles(all, second, Record, &pieces, error_)) << error_;
  ASSERT_EQ(pieces.calls.size(), whole.calls.size());
  for (size_t i = 0; i < whole.calls.size(); ++i) {
    EXPECT_EQ(pieces.calls[i].path, whole.calls[i].path);
    EXPECT_EQ(pieces.calls[i].done, whole.calls[i].done);
  }
  const struct {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
  } files[] = {{L"\\one.bin", contents_[0]},
               {L"\\two.bin", contents_[1]},
               {L"\\empty.bin", {}},
               {L"\\GFX\\sub\\inner.bin", testing::Pattern(7, 99)}};
  for (const auto& f : files) {
    std::vector<uint8_t> got;
    ASSERT_TRUE(test::ReadFileBytes(second + f.name, got)) << test::Utf8(f.name);
    EXPECT_TRUE(got == f.bytes) << test::Utf8(f.name);
  }
}

}  // namespace
}  // namespace tf
