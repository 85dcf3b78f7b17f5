#pragma once
// The arena step's cases that hold whatever the file layer: the native tests
// run them over the standard library's files, the Windows tests over Win32's.
// The install folder is laid out and read back through std::filesystem.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "xmf/arena_patch.h"
#include "xmf/tests/xmf_test_util.h"
#include "xmf/testing/xmf_builder.h"
#include "xmf/testing/xmf_walk.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf::test {

namespace fs = std::filesystem;

inline std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteBytes(const fs::path& p, const std::vector<uint8_t>& b) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The objects named "MEAT" in a container, or -1 when it is not a valid container.
inline int MeatObjects(const std::vector<uint8_t>& bytes) {
  XmfContainer c;
  std::string error;
  if (!ParseBytes(bytes, c, error) || !ValidateXmf(c, error)) return -1;
  return testing::CountInstancesNamed(c.bytes, "MEAT");
}

// An install folder at `root` with the thirteen arena containers, KITCHEN's
// holding "WPH2"; the folder goes with the object.
class ArenaFolder {
 public:
  explicit ArenaFolder(fs::path root) : root_(std::move(root)) {
    fs::remove_all(root_);
    for (size_t i = 0; i < std::size(ArenaTable); ++i)
      WriteBytes(Arena(i), testing::BuildArenaContainer(static_cast<uint32_t>(40 + i), i == 0, 24 * 1024));
  }
  ~ArenaFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  ArenaFolder(const ArenaFolder&) = delete;
  ArenaFolder& operator=(const ArenaFolder&) = delete;

  const fs::path& Root() const { return root_; }
  fs::path Folder(size_t i) const { return root_ / kGraphicsFolderName / ArenaTable[i].folder; }
  fs::path Arena(size_t i) const { return Folder(i) / ArenaTable[i].container; }
  std::vector<uint8_t> Bytes(size_t i) const { return ReadBytes(Arena(i)); }
  fs::path Temp(size_t i) const { return fs::path(Arena(i)) += ".tmp"; }

 private:
  fs::path root_;
};

// The step over a whole install folder, through one file layer.
using ArenaStep = std::function<MeatRushResult(const std::wstring& installFolder)>;

inline void ExpectCounts(const MeatRushResult& r, uint32_t patched, uint32_t alreadyPresent, uint32_t failed,
                         const std::string& message) {
  EXPECT_EQ(r.patched, patched) << message;
  EXPECT_EQ(r.alreadyPresent, alreadyPresent) << message;
  EXPECT_EQ(r.failed, failed) << message;
  EXPECT_EQ(r.message, message);
}

// A fresh run patches every arena through a ".tmp" that does not stay, and
// leaves a container of another name (in SCRAP) alone; a second run finds
// every arena patched and changes nothing.
inline void ExpectFreshRunThenSecondRun(const ArenaFolder& f, const ArenaStep& run) {
  const fs::path decoy = f.Root() / kGraphicsFolderName / "SCRAP" / "OBJECTS.xmf";
  const std::vector<uint8_t> decoyBytes = testing::BuildArenaContainer(99, false, 8 * 1024);
  WriteBytes(decoy, decoyBytes);
  ExpectCounts(run(f.Root().wstring()), 13, 0, 0, "");
  std::vector<std::vector<uint8_t>> patched;
  for (size_t i = 0; i < std::size(ArenaTable); ++i) {
    patched.push_back(f.Bytes(i));
    EXPECT_EQ(MeatObjects(patched.back()), 1) << ArenaTable[i].folder;
    EXPECT_FALSE(fs::exists(f.Temp(i))) << ArenaTable[i].folder;
  }
  EXPECT_EQ(ReadBytes(decoy), decoyBytes);

  ExpectCounts(run(f.Root().wstring()), 0, 13, 0, "");
  for (size_t i = 0; i < std::size(ArenaTable); ++i) EXPECT_EQ(f.Bytes(i), patched[i]) << ArenaTable[i].folder;
}

// A missing arena fails its own step; a missing KITCHEN, the source, fails all thirteen.
inline void ExpectMissingArenasFail(const fs::path& root, const ArenaStep& run) {
  struct Row {
    size_t missing;
    uint32_t patched, failed;
    const char* message;
  };
  const Row rows[] = {{0, 0, 13, "KITCHEN: file is missing"}, {1, 12, 1, "HAUNTED: file is missing"}};
  for (const Row& row : rows) {
    ArenaFolder f(root);
    fs::remove_all(f.Folder(row.missing));
    ExpectCounts(run(f.Root().wstring()), row.patched, 0, row.failed, row.message);
  }
}

}  // namespace tf::xmf::test
