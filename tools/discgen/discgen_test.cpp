// Checks written images with a reader of its own that follows the directory
// search tree, the way other XDVDFS readers look names up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <span>

#include "common/bytes.h"
#include "discgen.h"

namespace dg = tf::discgen;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSector = 2048;

// Fields of the bytes read, through the common reader: a failure of the test
// (and 0) when a field is not inside them.
uint32_t U32(std::span<const uint8_t> bytes, size_t at) {
  uint32_t v = 0;
  if (!tf::ByteReader(bytes).U32(at, v)) ADD_FAILURE() << "no u32 at " << at << " of " << bytes.size() << " bytes";
  return v;
}
uint16_t U16(std::span<const uint8_t> bytes, size_t at) {
  uint16_t v = 0;
  if (!tf::ByteReader(bytes).U16(at, v)) ADD_FAILURE() << "no u16 at " << at << " of " << bytes.size() << " bytes";
  return v;
}

std::string Key(const std::string& name) {
  std::string k = name;
  for (char& c : k) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return k;  // std::string compares bytes as unsigned char
}

class TempFile {
 public:
  explicit TempFile(const std::string& tag) {
    path_ = fs::temp_directory_path() /
            ("discgen_test_" + std::to_string(::getpid()) + "_" + tag + "_" + std::to_string(counter_++) + ".iso");
  }
  ~TempFile() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

struct Record {
  dg::Path path;
  bool folder = false;
  uint32_t sector = 0;
  uint32_t size = 0;
  uint64_t recordOffset = 0;
};

// Reads an image through the descriptor and the search-tree links only.
class TreeReader {
 public:
  explicit TreeReader(const fs::path& p) : f_(p, std::ios::binary) {
    f_.seekg(0, std::ios::end);
    size_ = static_cast<uint64_t>(f_.tellg());
  }
  uint64_t Size() const { return size_; }

  bool Read(uint64_t offset, void* buf, size_t len) {
    if (offset + len > size_) return false;
    f_.clear();
    f_.seekg(static_cast<std::streamoff>(offset));
    f_.read(static_cast<char*>(buf), static_cast<std::streamsize>(len));
    return static_cast<size_t>(f_.gcount()) == len;
  }

  // Walks the whole volume; any layout fault is added to `faults`.
  void Walk(uint64_t base, std::vector<Record>& out) {
    base_ = base;
    uint8_t d[kSector];
    if (!Read(base + 0x10000, d, kSector)) {
      faults.push_back("no descriptor");
      return;
    }
    if (std::memcmp(d, "MICROSOFT*XBOX*MEDIA", 20) != 0 || std::memcmp(d + 2028, "MICROSOFT*XBOX*MEDIA", 20) != 0) {
      faults.push_back("descriptor magic");
    }
    timestamp = 0;
    if (!tf::ByteReader(d).U64(28, timestamp)) faults.push_back("no timestamp");
    rootSector = U32(d, 20);
    rootSize = U32(d, 24);
    WalkTable(rootSector, rootSize, {}, 0, out);
  }

  // Looks a name up by descending the tree from offset 0, as a reader opening a path does.
  bool Lookup(uint32_t sector, uint32_t size, const std::string& name, Record& found) {
    std::vector<uint8_t> t(size);
    if (size == 0 || !Read(base_ + uint64_t{sector} * kSector, t.data(), size)) return false;
    uint32_t pos = 0;
    for (int steps = 0; steps < 100000; ++steps) {
      if (pos + 14 > size) return false;
      const std::string n(reinterpret_cast<const char*>(&t[pos + 14]), t[pos + 13]);
      const int c = Key(name).compare(Key(n));
      if (c == 0) {
        found.sector = U32(t, pos + 4);
        found.size = U32(t, pos + 8);
        found.folder = (t[pos + 12] & 0x10) != 0;
        return true;
      }
      const uint32_t next = 4u * (c < 0 ? U16(t, pos) : U16(t, pos + 2));
      if (next == 0) return false;
      pos = next;
    }
    return false;
  }

  std::vector<std::string> faults;
  uint64_t timestamp = 0;
  uint32_t rootSector = 0, rootSize = 0;

 private:
  void Fault(const dg::Path& folder, const std::string& what) { faults.push_back(dg::JoinPath(folder) + ": " + what); }

  // Checks the table's block layout front to back and returns the record positions.
  std::set<uint32_t> ScanLayout(const std::vector<uint8_t>& t, const dg::Path& folder) {
    std::set<uint32_t> at;
    for (uint32_t block = 0; block < t.size(); block += kSector) {
      uint32_t pos = block;
      while (pos + 4 <= block + kSector && U32(t, pos) != 0xFFFFFFFF) {
        const uint32_t n = t[pos + 13];
        const uint32_t len = (n + 17) & ~3u;
        if (n == 0 || pos + len > block + kSector) {
          Fault(folder, "record at " + std::to_string(pos) + " crosses a block or has no name");
          return at;
        }
        for (uint32_t i = pos + 14 + n; i < pos + len; ++i) {
          if (t[i] != 0xFF) Fault(folder, "name padding is not 0xFF");
        }
        at.insert(pos);
        pos += len;
      }
      for (uint32_t i = pos; i < block + kSector; ++i) {
        if (t[i] != 0xFF) {
          Fault(folder, "block tail at " + std::to_string(i) + " is not 0xFF");
          break;
        }
      }
    }
    return at;
  }

  // In-order walk checking each name against the bounds its ancestors set.
  void Descend(const std::vector<uint8_t>& t, uint32_t pos, const std::string* lo, const std::string* hi,
               const dg::Path& folder, std::set<uint32_t>& seen, std::vector<uint32_t>& inOrder, int depth) {
    if (depth > 64 || !seen.insert(pos).second) {
      Fault(folder, "tree revisits a record or is too deep");
      return;
    }
    const std::string name(reinterpret_cast<const char*>(&t[pos + 14]), t[pos + 13]);
    const std::string key = Key(name);
    if ((lo && key < *lo) || (hi && key > *hi)) Fault(folder, "tree order broken at " + name);
    const uint32_t left = 4u * U16(t, pos), right = 4u * U16(t, pos + 2);
    if (left) Descend(t, left, lo, &key, folder, seen, inOrder, depth + 1);
    inOrder.push_back(pos);
    if (right) Descend(t, right, &key, hi, folder, seen, inOrder, depth + 1);
  }

  void WalkTable(uint32_t sector, uint32_t size, const dg::Path& folder, int depth, std::vector<Record>& out) {
    if (size == 0) return;
    if (depth > 40 || size % kSector != 0) {
      Fault(folder, "bad table size or depth");
      return;
    }
    const uint64_t at = base_ + uint64_t{sector} * kSector;
    std::vector<uint8_t> t(size);
    if (!Read(at, t.data(), size)) {
      Fault(folder, "table beyond the image");
      return;
    }
    const std::set<uint32_t> positions = ScanLayout(t, folder);
    std::set<uint32_t> seen;
    std::vector<uint32_t> inOrder;
    if (!positions.count(0)) {
      Fault(folder, "no record at offset 0");
      return;
    }
    Descend(t, 0, nullptr, nullptr, folder, seen, inOrder, 0);
    if (seen != positions) Fault(folder, "tree reaches " + std::to_string(seen.size()) + " of " +
                                             std::to_string(positions.size()) + " records");
    for (uint32_t pos : inOrder) {
      if (!positions.count(pos)) continue;
      Record r;
      r.path = folder;
      r.path.emplace_back(reinterpret_cast<const char*>(&t[pos + 14]), t[pos + 13]);
      r.sector = U32(t, pos + 4);
      r.size = U32(t, pos + 8);
      r.folder = (t[pos + 12] & 0x10) != 0;
      r.recordOffset = at + pos;
      out.push_back(r);
      if (r.folder) WalkTable(r.sector, r.size, r.path, depth + 1, out);
    }
  }

  std::ifstream f_;
  uint64_t size_ = 0;
  uint64_t base_ = 0;
};

// Every plan entry (explicit or implied folder) appears once with its kind,
// size and, for files, its bytes; nothing else appears; extents do not overlap.
void ExpectMatches(const dg::ImagePlan& plan, TreeReader& reader, const std::vector<Record>& found,
                   bool checkContent) {
  std::map<dg::Path, const dg::Entry*> want;
  std::set<dg::Path> folders;
  for (const dg::Entry& e : plan.entries) {
    want[e.path] = &e;
    for (size_t n = 1; n < e.path.size(); ++n) folders.insert(dg::Path(e.path.begin(), e.path.begin() + n));
  }
  std::set<dg::Path> got;
  std::vector<std::pair<uint64_t, uint64_t>> extents = {{0x10000, 0x10800}};
  for (const Record& r : found) {
    const std::string name = dg::JoinPath(r.path);
    EXPECT_TRUE(got.insert(r.path).second) << "listed twice: " << name;
    auto it = want.find(r.path);
    const bool isFolder = it == want.end() ? folders.count(r.path) > 0 : it->second->isFolder;
    if (it == want.end() && !folders.count(r.path)) {
      ADD_FAILURE() << "unexpected entry " << name;
      continue;
    }
    EXPECT_EQ(r.folder, isFolder) << name;
    const uint64_t size = r.folder ? r.size : it->second->size;
    if (!r.folder) EXPECT_EQ(r.size, size) << name;
    if (r.size > 0) {
      extents.push_back({uint64_t{r.sector} * kSector, uint64_t{r.sector} * kSector + r.size});
    }
    if (checkContent && !r.folder && r.size > 0) {
      std::vector<uint8_t> have(r.size), expect(r.size);
      ASSERT_TRUE(reader.Read(plan.base + uint64_t{r.sector} * kSector, have.data(), r.size)) << name;
      dg::FillEntryContent(plan.seed, *it->second, 0, expect.data(), expect.size());
      EXPECT_TRUE(have == expect) << "content of " << name;
    }
  }
  for (const auto& [path, e] : want) EXPECT_TRUE(got.count(path)) << "missing " << dg::JoinPath(path);
  for (const auto& path : folders) EXPECT_TRUE(got.count(path)) << "missing folder " << dg::JoinPath(path);
  std::sort(extents.begin(), extents.end());
  for (size_t i = 1; i < extents.size(); ++i) {
    EXPECT_LE(extents[i - 1].second, extents[i].first) << "extents overlap at sector " << extents[i].first / kSector;
  }
  if (!extents.empty()) EXPECT_LE(plan.base + extents.back().second, reader.Size());
}

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string FileHash(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::vector<char> buf(1 << 20);
  dg::Sha256 h;
  while (f) {
    f.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    h.Update(reinterpret_cast<const uint8_t*>(buf.data()), static_cast<size_t>(f.gcount()));
  }
  return dg::HexDigest(h.Final());
}

dg::ImagePlan Game(const dg::GameOptions& o) {
  dg::ImagePlan plan;
  std::string err;
  EXPECT_TRUE(dg::GameTree(o, plan, err)) << err;
  return plan;
}

void WriteOrFail(const dg::ImagePlan& plan, const fs::path& p, dg::WriteReport& report, bool hash = false) {
  std::string err;
  ASSERT_TRUE(dg::WriteImage(plan, p, err, report, hash)) << err;
  EXPECT_TRUE(err.empty());
}

// ---- Cases ----

TEST(Sha256, KnownDigests) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    dg::Sha256 whole;
    whole.Update(reinterpret_cast<const uint8_t*>(c.input.data()), c.input.size());
    EXPECT_EQ(dg::HexDigest(whole.Final()), c.digest) << c.input.size();
    dg::Sha256 pieces;  // uneven pieces cross the 64-byte blocks
    for (size_t at = 0, step = 1; at < c.input.size(); at += step, step = step * 3 % 97 + 1) {
      pieces.Update(reinterpret_cast<const uint8_t*>(c.input.data()) + at, std::min(step, c.input.size() - at));
    }
    EXPECT_EQ(dg::HexDigest(pieces.Final()), c.digest) << c.input.size();
  }
}

TEST(Content, FillAgreesWithByteAtAnyOffset) {
  const struct {
    uint64_t offset;
    size_t len;
  } cases[] = {{0, 1}, {0, 64}, {3, 29}, {7, 1}, {1048575, 3}, {0xFFFFFFF9ull, 20}, {123456789, 1000}};
  for (const auto& c : cases) {
    std::vector<uint8_t> buf(c.len);
    dg::FillContent(42, "GFX\\KITCHEN\\TEX001.XPR", c.offset, buf.data(), buf.size());
    for (size_t i = 0; i < c.len; ++i) {
      ASSERT_EQ(buf[i], dg::ContentByte(42, "GFX\\KITCHEN\\TEX001.XPR", c.offset + i)) << c.offset << "+" << i;
    }
  }
}

TEST(Content, DependsOnSeedPathAndOffset) {
  std::vector<uint8_t> a(4096), b(4096);
  dg::FillContent(1, "AUDMUSIC\\TRACK001.WMA", 0, a.data(), a.size());
  const struct {
    uint64_t seed;
    const char* path;
    uint64_t offset;
  } others[] = {{2, "AUDMUSIC\\TRACK001.WMA", 0}, {1, "AUDMUSIC\\TRACK002.WMA", 0}, {1, "AUDMUSIC\\TRACK001.WMA", 8},
                {1, "AUDMUSIC\\TRACK001.WMA", 2048}};
  for (const auto& o : others) {
    dg::FillContent(o.seed, o.path, o.offset, b.data(), b.size());
    size_t same = 0;
    for (size_t i = 0; i < a.size(); ++i) same += a[i] == b[i];
    EXPECT_LT(same, a.size() / 16) << o.seed << " " << o.path << " " << o.offset;
  }
}

TEST(Content, HeadThenGenerated) {
  dg::Entry e = dg::GeneratedFile({"default.xbe"}, 100);
  e.head = Bytes("XBEH");
  std::vector<uint8_t> buf(10);
  dg::FillEntryContent(7, e, 2, buf.data(), buf.size());
  EXPECT_EQ(buf[0], 'E');
  EXPECT_EQ(buf[1], 'H');
  for (size_t i = 2; i < buf.size(); ++i) EXPECT_EQ(buf[i], dg::ContentByte(7, "default.xbe", 2 + i));
}

TEST(Names, CompareIsUppercaseBytewise) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {{"gfx", "GFX", 0},   {"GFX", "GFXDATA", -1}, {"a", "B", -1}, {"_", "a", 1},  // '_' > 'A'
               {"Z", "\xC9", -1},   {"\xE9", "\xC9", 1},    {"", "A", -1},  {"AUDMUSIC", "AUDSoundFX", -1}};
  for (const auto& c : cases) {
    const int r = dg::CompareNames(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
  }
}

dg::ImagePlan WideFolder() {
  dg::ImagePlan plan;
  plan.seed = 9;
  // Names of many lengths so the table spans several blocks with uneven tails,
  // plus case-only twins and prefixes.
  for (int i = 0; i < 400; ++i) {
    std::string name = "F" + std::to_string(i * 7919 % 1000) + "_" + std::string(static_cast<size_t>(i % 61), 'x');
    plan.entries.push_back(dg::GeneratedFile({"WIDE", name}, static_cast<uint32_t>(i % 5)));
  }
  for (const char* n : {"abc", "ABC", "AbC", "AB", "ABCD", "a", "_", "~", "\xC9T\xC9"}) {
    plan.entries.push_back(dg::GeneratedFile({"WIDE", n}, 10));
  }
  return plan;
}

struct TreeCase {
  const char* name;
  dg::ImagePlan plan;
};

std::vector<TreeCase> TreeCases() {
  std::vector<TreeCase> cases;
  cases.push_back({"game", Game({})});
  dg::GameOptions everything;
  everything.base = dg::kFullDiscBase;
  everything.seed = 5;
  everything.zeroLengthFiles = everything.deepNesting = everything.edgeSizes = true;
  everything.hostileNames.assign(dg::kHostileKinds.begin(), dg::kHostileKinds.end());
  cases.push_back({"game with every option at the full-disc base", Game(everything)});
  cases.push_back({"wide folder", WideFolder()});
  cases.push_back({"empty volume", dg::ImagePlan{}});
  dg::ImagePlan one;
  one.entries.push_back(dg::BytesFile({"default.xbe"}, Bytes("XBEH1234567")));
  cases.push_back({"one file", one});
  dg::ImagePlan folders;
  folders.entries = {dg::Folder({"EMPTY"}), dg::Folder({"A", "B", "EMPTY"}), dg::GeneratedFile({"A", "F"}, 0),
                     dg::GeneratedFile({"A", "B", "G"}, 2049)};
  cases.push_back({"empty folders and zero-length file", folders});
  return cases;
}

TEST(WriteImage, TreeReaderFindsEveryEntryInOrder) {
  for (const TreeCase& c : TreeCases()) {
    SCOPED_TRACE(c.name);
    TempFile file("tree");
    dg::WriteReport report;
    WriteOrFail(c.plan, file.path(), report);
    TreeReader reader(file.path());
    std::vector<Record> found;
    reader.Walk(c.plan.base, found);
    for (const std::string& f : reader.faults) ADD_FAILURE() << f;
    ExpectMatches(c.plan, reader, found, true);
    EXPECT_EQ(reader.Size(), report.imageSize);
    EXPECT_EQ(report.imageSize % kSector, 0u);

    // The report lists the same records, at the offsets the tables hold.
    std::map<dg::Path, Record> byPath;
    for (const Record& r : found) byPath[r.path] = r;
    ASSERT_EQ(report.items.size(), found.size());
    for (const dg::WrittenItem& item : report.items) {
      const Record& r = byPath[item.path];
      EXPECT_EQ(item.recordOffset, r.recordOffset) << item.joined;
      EXPECT_EQ(item.size, r.size) << item.joined;
      if (r.size > 0) EXPECT_EQ(item.offset, c.plan.base + uint64_t{r.sector} * kSector) << item.joined;
    }
    // Descending the tree by name finds every record of every table.
    for (const Record& r : found) {
      dg::Path parent(r.path.begin(), r.path.end() - 1);
      uint32_t sector = reader.rootSector, size = reader.rootSize;
      if (!parent.empty()) {
        sector = byPath[parent].sector;
        size = byPath[parent].size;
      }
      Record hit;
      ASSERT_TRUE(reader.Lookup(sector, size, r.path.back(), hit)) << dg::JoinPath(r.path);
      EXPECT_EQ(hit.folder, r.folder);
    }
  }
}

TEST(WriteImage, DescriptorAndBase) {
  const struct {
    uint64_t base;
    uint64_t timestamp;
  } cases[] = {{0, dg::kGameTimestamp}, {dg::kFullDiscBase, dg::kGameTimestamp}, {0, 0x01C38D5623C39531ull},
               {dg::kFullDiscBase, 0xFEDCBA9876543210ull}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    dg::GameOptions o;
    o.base = c.base;
    o.timestamp = c.timestamp;
    const dg::ImagePlan plan = Game(o);
    TempFile file("desc");
    dg::WriteReport report;
    WriteOrFail(plan, file.path(), report);
    TreeReader reader(file.path());
    std::vector<Record> found;
    reader.Walk(c.base, found);
    EXPECT_TRUE(reader.faults.empty());
    EXPECT_EQ(reader.timestamp, c.timestamp);
    EXPECT_EQ(c.base + uint64_t{reader.rootSector} * kSector, report.rootTableOffset);
    EXPECT_EQ(reader.rootSize, report.rootTableSize);
    EXPECT_GT(reader.rootSize, 0u);
    for (const dg::WrittenItem& item : report.items) {
      EXPECT_GE(item.offset, c.base) << item.joined;
      EXPECT_GE(item.recordOffset, c.base + 0x10800) << item.joined;
    }
    // Nothing at all before the descriptor, including the whole stretch below the base.
    std::vector<uint8_t> head(64 * 1024);
    for (uint64_t at : {uint64_t{0}, c.base / 2, c.base + 0x10000 - head.size()}) {
      ASSERT_TRUE(reader.Read(at, head.data(), head.size()));
      EXPECT_TRUE(std::all_of(head.begin(), head.end(), [](uint8_t b) { return b == 0; })) << at;
    }
    if (c.base > 0) {
      struct stat st {};
      ASSERT_EQ(::stat(file.path().c_str(), &st), 0);
      EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, c.base / 2) << "the stretch below the base is not a hole";
      // A walk from base 0 must not find the volume.
      TreeReader wrong(file.path());
      std::vector<Record> none;
      wrong.Walk(0, none);
      EXPECT_FALSE(wrong.faults.empty());
    }
  }
}

TEST(GameTree, RetailStatisticsAreExact) {
  const auto bigContainer = [](std::string_view folder, std::string_view, std::vector<uint8_t>& b) {
    b.assign(70000 + folder.size() * 1000, 0x5A);
    return true;
  };
  const auto noHell = [](std::string_view folder, std::string_view, std::vector<uint8_t>& b) {
    b = Bytes("XMF stand-in");
    return folder != "HELL";
  };
  struct Case {
    const char* name;
    dg::GameOptions o;
  };
  std::vector<Case> cases(5);
  cases[0].name = "plain";
  cases[1].name = "every option";
  cases[1].o.zeroLengthFiles = cases[1].o.deepNesting = cases[1].o.edgeSizes = true;
  cases[1].o.hostileNames.assign(dg::kHostileKinds.begin(), dg::kHostileKinds.end());
  cases[2].name = "other seed";
  cases[2].o.seed = 123456789;
  cases[3].name = "large containers";
  cases[3].o.arenaContainer = bigContainer;
  cases[4].name = "a missing container";
  cases[4].o.arenaContainer = noHell;
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.o.retail = true;
    const dg::ImagePlan plan = Game(c.o);
    uint64_t files = 0, bytes = 0;
    for (const dg::Entry& e : plan.entries) {
      files += !e.isFolder;
      bytes += e.isFolder ? 0 : e.size;
    }
    EXPECT_EQ(files, dg::kRetailFileCount);
    EXPECT_EQ(bytes, dg::kRetailTotalBytes);
  }

  // Counted again on a written image by the tree reader.
  dg::GameOptions o = cases[1].o;
  const dg::ImagePlan plan = Game(o);
  TempFile file("retail");
  dg::WriteReport report;
  WriteOrFail(plan, file.path(), report);
  TreeReader reader(file.path());
  std::vector<Record> found;
  reader.Walk(0, found);
  EXPECT_TRUE(reader.faults.empty());
  uint64_t files = 0, bytes = 0;
  for (const Record& r : found) {
    files += !r.folder;
    bytes += r.folder ? 0 : r.size;
  }
  EXPECT_EQ(files, 454u);
  EXPECT_EQ(bytes, 231662584u);
  EXPECT_EQ(report.fileCount, 454u);
  EXPECT_EQ(report.totalFileBytes, 231662584u);
}

TEST(GameTree, TotalBytesAreExact) {
  const struct {
    uint64_t total;
    uint32_t fillers;
  } cases[] = {{2ull << 30, 0}, {(2ull << 30) + 12345, 7}, {5ull << 30, 0}, {5ull << 20, 1}};
  for (const auto& c : cases) {
    dg::GameOptions o;
    o.totalBytes = c.total;
    o.fillerFiles = c.fillers;
    const dg::ImagePlan plan = Game(o);
    uint64_t bytes = 0;
    uint32_t largest = 0;
    for (const dg::Entry& e : plan.entries) {
      bytes += e.isFolder ? 0 : e.size;
      largest = std::max(largest, e.size);
    }
    EXPECT_EQ(bytes, c.total);
    if (c.fillers == 0) EXPECT_GT(largest, 32u << 20) << "benchmark trees are made of large files";
  }
  const struct {
    const char* name;
    dg::GameOptions o;
  } bad[] = {{"retail and total", {.retail = true, .totalBytes = 1 << 30}},
             {"total below the fixed files", {.totalBytes = 1000}},
             {"one filler over 4 GiB", {.totalBytes = 9ull << 30, .fillerFiles = 1}}};
  for (const auto& b : bad) {
    dg::ImagePlan plan;
    std::string err;
    EXPECT_FALSE(dg::GameTree(b.o, plan, err)) << b.name;
    EXPECT_FALSE(err.empty()) << b.name;
  }
}

TEST(GameTree, HoldsGameFilesAndDecoys) {
  dg::GameOptions o;
  o.zeroLengthFiles = o.deepNesting = o.edgeSizes = true;
  dg::ImagePlan plan = Game(o);
  std::map<std::string, const dg::Entry*> by;
  size_t deepest = 0;
  for (const dg::Entry& e : plan.entries) {
    by[dg::JoinPath(e.path)] = &e;
    if (e.isFolder) deepest = std::max(deepest, e.path.size());
  }
  ASSERT_TRUE(by.count("default.xbe"));
  EXPECT_EQ(std::string(by["default.xbe"]->head.begin(), by["default.xbe"]->head.end()).substr(0, 4), "XBEH");
  for (const dg::Arena& a : dg::kArenas) {
    EXPECT_TRUE(by.count(std::string("GFX\\") + a.folder + "\\" + a.container)) << a.folder;
  }
  for (const char* p : {"$SystemUpdate\\default.xbe", "GFXDATA\\x.bin", "GFX.BIN", "MOVIES\\INTRO.XMV",
                        "GFX\\MENU\\ICONS", "AUDSoundFX\\SILENCE.WAV", "GFX\\UNUSED"}) {
    EXPECT_TRUE(by.count(p)) << p;
  }
  EXPECT_EQ(deepest, 21u) << "GFX and twenty nested folders";
  EXPECT_EQ(by["AUDMUSIC\\EDGE_1M.BIN"]->size, 1u << 20);
  EXPECT_EQ(by["AUDMUSIC\\EDGE_1M_PLUS1.BIN"]->size, (1u << 20) + 1);
  EXPECT_EQ(by["GFX\\EMPTY.DAT"]->size, 0u);
  size_t musicAndSound = 0;
  for (const auto& [p, e] : by) musicAndSound += !e->isFolder && (p.starts_with("AUDMUSIC\\") || p.starts_with("AUDSoundFX\\"));
  EXPECT_GT(musicAndSound, 5u);
}

TEST(GameTree, ContainerHookAndPutFilePlaceBytesVerbatim) {
  dg::GameOptions o;
  o.arenaContainer = [](std::string_view folder, std::string_view file, std::vector<uint8_t>& b) {
    if (folder == "LAB") return false;
    b = Bytes(std::string("XMF:") + std::string(folder) + "/" + std::string(file));
    return true;
  };
  dg::ImagePlan plan = Game(o);
  EXPECT_EQ(dg::FindEntry(plan, {"GFX", "LAB", "OBJECTS.xmf"}), nullptr);
  dg::PutFile(plan, {"GFX", "HELL", "OBJECTS.xmf"}, Bytes("replaced"));
  dg::PutFile(plan, {"GFX", "LAB", "OBJECTS.xmf"}, Bytes("added"));
  const size_t movies = std::count_if(plan.entries.begin(), plan.entries.end(),
                                      [](const dg::Entry& e) { return e.path[0] == "MOVIES"; });
  EXPECT_GT(movies, 1u);
  EXPECT_EQ(dg::RemoveEntries(plan, {"MOVIES"}), movies);
  TempFile file("hook");
  dg::WriteReport report;
  WriteOrFail(plan, file.path(), report);
  TreeReader reader(file.path());
  std::map<std::string, std::string> expect = {{"GFX\\SCRAP\\WEAPONS.xmf", "XMF:SCRAP/WEAPONS.xmf"},
                                               {"GFX\\KITCHEN\\OBJECTS.xmf", "XMF:KITCHEN/OBJECTS.xmf"},
                                               {"GFX\\HELL\\OBJECTS.xmf", "replaced"},
                                               {"GFX\\LAB\\OBJECTS.xmf", "added"}};
  size_t checked = 0;
  for (const dg::WrittenItem& item : report.items) {
    EXPECT_NE(item.path[0], "MOVIES");
    auto it = expect.find(item.joined);
    if (it == expect.end()) continue;
    std::string have(item.size, '\0');
    ASSERT_TRUE(reader.Read(item.offset, have.data(), have.size()));
    EXPECT_EQ(have, it->second);
    ++checked;
  }
  EXPECT_EQ(checked, expect.size());
}

TEST(WriteImage, HostileNamesAreWrittenByteExactly) {
  for (dg::HostileKind kind : dg::kHostileKinds) {
    SCOPED_TRACE(dg::HostileKindName(kind));
    dg::HostileKind parsed;
    ASSERT_TRUE(dg::ParseHostileKind(dg::HostileKindName(kind), parsed));
    EXPECT_EQ(parsed, kind);
    dg::GameOptions o;
    o.hostileNames = {kind};
    const dg::ImagePlan plan = Game(o);
    TempFile file("hostile");
    dg::WriteReport report;
    WriteOrFail(plan, file.path(), report);
    TreeReader reader(file.path());
    const std::string name = dg::HostileName(kind);
    const auto it = std::find_if(report.items.begin(), report.items.end(), [&](const dg::WrittenItem& i) {
      return i.path.size() == 2 && i.path[0] == "GFX" && i.path[1] == name;
    });
    ASSERT_NE(it, report.items.end());
    std::vector<char> rec(14 + name.size());
    ASSERT_TRUE(reader.Read(it->recordOffset, rec.data(), rec.size()));
    EXPECT_EQ(static_cast<uint8_t>(rec[13]), name.size());
    EXPECT_EQ(std::string(rec.data() + 14, name.size()), name);
    EXPECT_EQ((rec[12] & 0x10) != 0, kind == dg::HostileKind::Dot || kind == dg::HostileKind::DotDot);
  }
  EXPECT_EQ(dg::HostileName(dg::HostileKind::Nul).size(), 12u);
  EXPECT_NE(dg::HostileName(dg::HostileKind::Ansi).find('\xC9'), std::string::npos);
}

TEST(WriteImage, SameSeedSameBytes) {
  dg::GameOptions o;
  o.zeroLengthFiles = o.deepNesting = true;
  o.hostileNames = {dg::HostileKind::Ansi};
  TempFile a("det"), b("det"), c("det");
  dg::WriteReport ra, rb, rc;
  WriteOrFail(Game(o), a.path(), ra, true);
  WriteOrFail(Game(o), b.path(), rb, true);
  o.seed = 2;
  WriteOrFail(Game(o), c.path(), rc, true);
  EXPECT_EQ(FileHash(a.path()), FileHash(b.path()));
  EXPECT_NE(FileHash(a.path()), FileHash(c.path()));
  // The per-file digests describe the bytes on disk.
  TreeReader reader(a.path());
  for (const dg::WrittenItem& item : ra.items) {
    if (item.isFolder) continue;
    std::vector<uint8_t> data(item.size);
    ASSERT_TRUE(reader.Read(item.offset, data.data(), data.size()));
    dg::Sha256 h;
    h.Update(data.data(), data.size());
    EXPECT_EQ(h.Final(), item.sha256) << item.joined;
  }
}

TEST(WriteImage, RejectsBadTrees) {
  const auto many = [] {
    dg::ImagePlan s;
    for (int i = 0; i < 1400; ++i) s.entries.push_back(dg::GeneratedFile({"BIG", std::to_string(i) + std::string(190, 'n')}, 1));
    return s;
  };
  dg::ImagePlan headTooLong;
  headTooLong.entries.push_back(dg::GeneratedFile({"A"}, 2));
  headTooLong.entries.back().head = Bytes("abc");
  dg::ImagePlan oddBase;
  oddBase.base = 1000;
  const struct {
    const char* name;
    dg::ImagePlan plan;
    std::string out;
  } cases[] = {
      {"duplicate file", {.entries = {dg::GeneratedFile({"A"}, 1), dg::GeneratedFile({"A"}, 2)}}, ""},
      {"file and folder of one name", {.entries = {dg::GeneratedFile({"A"}, 1), dg::Folder({"A"})}}, ""},
      {"file used as a folder", {.entries = {dg::GeneratedFile({"A"}, 1), dg::GeneratedFile({"A", "B"}, 1)}}, ""},
      {"empty name", {.entries = {dg::GeneratedFile({"A", ""}, 1)}}, ""},
      {"name of 256 bytes", {.entries = {dg::GeneratedFile({std::string(256, 'n')}, 1)}}, ""},
      {"empty path", {.entries = {dg::GeneratedFile({}, 1)}}, ""},
      {"head longer than size", headTooLong, ""},
      {"base off a sector", oddBase, ""},
      {"table over 256 KiB", many(), ""},
      {"unwritable output", dg::ImagePlan{}, "/nonexistent-discgen-dir/x.iso"},
  };
  for (const auto& c : cases) {
    TempFile file("bad");
    std::string err;
    EXPECT_FALSE(dg::WriteImage(c.plan, c.out.empty() ? file.path() : fs::path(c.out), err)) << c.name;
    EXPECT_FALSE(err.empty()) << c.name;
  }
  // A name of 255 bytes and a folder listed after its files are fine.
  dg::ImagePlan ok{.entries = {dg::GeneratedFile({"A", std::string(255, 'n')}, 1), dg::Folder({"A"})}};
  TempFile file("ok");
  std::string err;
  EXPECT_TRUE(dg::WriteImage(ok, file.path(), err)) << err;
}

}  // namespace
