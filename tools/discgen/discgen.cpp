// Content generation, tree editing and the image writer.
#include "discgen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "common/bytes.h"

namespace tf::discgen {
namespace {

uint64_t Mix(uint64_t x) {  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint8_t Upper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

bool SamePath(const Path& a, const Path& b) { return a == b; }
bool IsBelow(const Path& path, const Path& top) {
  return path.size() >= top.size() && std::equal(top.begin(), top.end(), path.begin());
}

// ---- 64-bit file positioning ----

bool Seek64(std::FILE* f, uint64_t pos) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET) == 0;
#else
  static_assert(sizeof(off_t) >= 8, "64-bit file offsets needed");
  return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

std::FILE* OpenForWrite(const std::filesystem::path& p) {
#ifdef _WIN32
  return _wfopen(p.c_str(), L"wb");
#else
  return std::fopen(p.c_str(), "wb");
#endif
}

// Writes at increasing offsets; gaps of a sector or more are skipped by seeking.
class Writer {
 public:
  ~Writer() {
    if (f_) std::fclose(f_);
  }
  bool Open(const std::filesystem::path& p) {
    f_ = OpenForWrite(p);
    if (f_) std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
    return f_ != nullptr;
  }
  bool MoveTo(uint64_t pos) {
    if (pos < pos_) return false;
    if (pos - pos_ < kSectorSize) {
      static const uint8_t zeros[kSectorSize] = {};
      return Write(zeros, static_cast<size_t>(pos - pos_));
    }
    if (!Seek64(f_, pos)) return false;
    pos_ = pos;
    return true;
  }
  bool Write(const uint8_t* data, size_t len) {
    if (len == 0) return true;
    if (std::fwrite(data, 1, len, f_) != len) return false;
    pos_ += len;
    return true;
  }
  // Makes the file exactly `end` bytes long without writing what lies before.
  bool Finish(uint64_t end) {
    if (end > pos_) {
      uint8_t zero = 0;
      if (!MoveTo(end - 1) || !Write(&zero, 1)) return false;
    }
    std::FILE* f = f_;
    f_ = nullptr;
    return std::fclose(f) == 0;
  }

 private:
  std::FILE* f_ = nullptr;
  uint64_t pos_ = 0;
};

// ---- The tree as it is laid out ----

struct Node {
  std::string name;
  bool isFolder = true;
  bool implicitFolder = false;
  const Entry* entry = nullptr;  // null for the root and implicit folders
  Path path;
  std::map<std::string, int> byName;
  std::vector<int> children;  // insertion order
  // Layout of a folder's table.
  std::vector<int> tableOrder;               // children in table order
  std::vector<uint32_t> recordPos;           // table position of tableOrder[i]
  std::vector<int> left, right;              // tree links as indices into tableOrder (-1 none)
  uint32_t tableBytes = 0;                   // used bytes rounded to whole sectors
  // Placement.
  uint32_t sector = 0;
  uint32_t size = 0;  // file size or table size
  uint64_t recordOffset = 0;
};

struct Layout {
  std::vector<Node> nodes;   // 0 is the root
  std::vector<int> listing;  // reader order
  std::vector<int> folders;  // reader order of folders with a table, root first
  uint64_t sectors = 0;      // volume size in sectors
};

bool AddEntry(Layout& lay, const Entry& e, std::string& err) {
  if (e.path.empty()) {
    err = "An entry has an empty path.";
    return false;
  }
  for (const std::string& name : e.path) {
    if (name.empty() || name.size() > 255) {
      err = "The entry \"" + JoinPath(e.path) + "\" has a name of " + std::to_string(name.size()) +
            " bytes; names hold 1 to 255 bytes.";
      return false;
    }
  }
  if (!e.isFolder && e.head.size() > e.size) {
    err = "The file \"" + JoinPath(e.path) + "\" has more explicit bytes than its size.";
    return false;
  }
  int cur = 0;
  for (size_t i = 0; i < e.path.size(); ++i) {
    const bool last = i + 1 == e.path.size();
    auto it = lay.nodes[cur].byName.find(e.path[i]);
    if (it != lay.nodes[cur].byName.end()) {
      Node& n = lay.nodes[it->second];
      if (!last) {
        if (!n.isFolder) {
          err = "\"" + JoinPath(n.path) + "\" is a file but is used as a folder.";
          return false;
        }
        cur = it->second;
        continue;
      }
      if (e.isFolder && n.isFolder && n.implicitFolder) {
        n.implicitFolder = false;
        n.entry = &e;
        return true;
      }
      err = "The entry \"" + JoinPath(e.path) + "\" is listed twice.";
      return false;
    }
    Node n;
    n.name = e.path[i];
    n.path.assign(e.path.begin(), e.path.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    n.isFolder = !last || e.isFolder;
    n.implicitFolder = !last;
    n.entry = last ? &e : nullptr;
    if (!n.isFolder) n.size = e.size;
    const int id = static_cast<int>(lay.nodes.size());
    lay.nodes.push_back(std::move(n));
    lay.nodes[cur].byName.emplace(e.path[i], id);
    lay.nodes[cur].children.push_back(id);
    cur = id;
  }
  return true;
}

// Pre-order of a balanced search tree over sorted[lo, hi): the subtree root
// first, so the whole tree's root lands at table offset 0.
int EmitBalanced(Node& folder, const std::vector<int>& sorted, int lo, int hi) {
  if (lo >= hi) return -1;
  const int mid = lo + (hi - lo) / 2;
  const int at = static_cast<int>(folder.tableOrder.size());
  folder.tableOrder.push_back(sorted[mid]);
  folder.left.push_back(-1);
  folder.right.push_back(-1);
  const int l = EmitBalanced(folder, sorted, lo, mid);
  const int r = EmitBalanced(folder, sorted, mid + 1, hi);
  folder.left[at] = l;
  folder.right[at] = r;
  return at;
}

uint32_t RecordLength(size_t nameLen) { return static_cast<uint32_t>((nameLen + 17) & ~size_t{3}); }

bool LayOutTable(Layout& lay, int id, std::string& err) {
  Node& folder = lay.nodes[id];
  std::vector<int> sorted = folder.children;
  std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
    const int c = CompareNames(lay.nodes[a].name, lay.nodes[b].name);
    return c != 0 ? c < 0 : lay.nodes[a].name < lay.nodes[b].name;
  });
  EmitBalanced(folder, sorted, 0, static_cast<int>(sorted.size()));
  uint32_t pos = 0;
  for (int child : folder.tableOrder) {
    const uint32_t len = RecordLength(lay.nodes[child].name.size());
    if ((pos % kSectorSize) + len > kSectorSize) pos = (pos / kSectorSize + 1) * kSectorSize;
    if (pos / 4 > 0xFFFF) {
      err = "The folder \"" + JoinPath(folder.path) + "\" has too many entries for one directory table.";
      return false;
    }
    folder.recordPos.push_back(pos);
    pos += len;
  }
  folder.tableBytes = (pos + kSectorSize - 1) / kSectorSize * kSectorSize;
  folder.size = folder.tableBytes;
  return true;
}

void ListFolder(Layout& lay, int id) {
  // Copy: the vector of nodes is not resized here, but keep the loop simple.
  const std::vector<int> order = lay.nodes[id].tableOrder;
  for (int child : order) lay.listing.push_back(child);
  for (int child : order) {
    if (lay.nodes[child].isFolder) {
      if (lay.nodes[child].tableBytes > 0) lay.folders.push_back(child);
      ListFolder(lay, child);
    }
  }
}

bool BuildLayout(const ImagePlan& plan, Layout& lay, std::string& err) {
  if (plan.base % kSectorSize != 0) {
    err = "The volume base must be a multiple of 2048.";
    return false;
  }
  lay.nodes.clear();
  lay.nodes.emplace_back();  // root
  for (const Entry& e : plan.entries) {
    if (!AddEntry(lay, e, err)) return false;
  }
  for (size_t i = 0; i < lay.nodes.size(); ++i) {
    if (lay.nodes[i].isFolder && !LayOutTable(lay, static_cast<int>(i), err)) return false;
  }
  if (lay.nodes[0].tableBytes > 0) lay.folders.push_back(0);
  ListFolder(lay, 0);

  // Tables from sector 33 (right after the descriptor), then file data, both in reader order.
  uint64_t next = kDescriptorOffset / kSectorSize + 1;
  for (int id : lay.folders) {
    lay.nodes[id].sector = static_cast<uint32_t>(next);
    next += lay.nodes[id].tableBytes / kSectorSize;
  }
  for (int id : lay.listing) {
    Node& n = lay.nodes[id];
    if (n.isFolder || n.size == 0) continue;
    if (next > 0xFFFFFFFFull) break;
    n.sector = static_cast<uint32_t>(next);
    next += (uint64_t{n.size} + kSectorSize - 1) / kSectorSize;
  }
  if (next > 0xFFFFFFFFull) {
    err = "The volume is too large for 32-bit sector numbers.";
    return false;
  }
  lay.sectors = next;
  for (int id : lay.folders) {
    const Node& folder = lay.nodes[id];
    for (size_t i = 0; i < folder.tableOrder.size(); ++i) {
      lay.nodes[folder.tableOrder[i]].recordOffset =
          plan.base + uint64_t{folder.sector} * kSectorSize + folder.recordPos[i];
    }
  }
  return true;
}

std::vector<uint8_t> TableBytes(const Layout& lay, const Node& folder) {
  std::vector<uint8_t> t(folder.tableBytes, 0xFF);
  ByteWriter w(t);
  for (size_t i = 0; i < folder.tableOrder.size(); ++i) {
    const Node& n = lay.nodes[folder.tableOrder[i]];
    const uint32_t at = folder.recordPos[i];
    uint8_t* p = t.data() + at;
    const int l = folder.left[i], r = folder.right[i];
    w.U16(at, static_cast<uint16_t>(l < 0 ? 0 : folder.recordPos[l] / 4));
    w.U16(at + 2, static_cast<uint16_t>(r < 0 ? 0 : folder.recordPos[r] / 4));
    w.U32(at + 4, n.sector);
    w.U32(at + 8, n.size);
    p[12] = n.isFolder ? 0x10 : 0x00;
    p[13] = static_cast<uint8_t>(n.name.size());
    std::memcpy(p + 14, n.name.data(), n.name.size());
  }
  return t;
}

}  // namespace

Entry Folder(Path path) {
  Entry e;
  e.path = std::move(path);
  e.isFolder = true;
  return e;
}

Entry GeneratedFile(Path path, uint32_t size) {
  Entry e;
  e.path = std::move(path);
  e.size = size;
  return e;
}

Entry BytesFile(Path path, std::vector<uint8_t> bytes) {
  Entry e;
  e.path = std::move(path);
  e.size = static_cast<uint32_t>(bytes.size());
  e.head = std::move(bytes);
  return e;
}

std::string JoinPath(const Path& path) {
  std::string s;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) s.push_back('\\');
    s += path[i];
  }
  return s;
}

Path SplitPath(std::string_view joined) {
  Path out;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('\\', start);
    if (end == std::string_view::npos) end = joined.size();
    out.emplace_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

uint64_t ContentKey(uint64_t seed, std::string_view path) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the path bytes
  for (unsigned char c : path) h = (h ^ c) * 0x100000001B3ull;
  return Mix(Mix(seed) ^ h);
}

void FillKeyed(uint64_t key, uint64_t offset, uint8_t* buf, size_t len) {
  // Eight bytes per 64-bit word; word n of a file is Mix(key + n * odd constant).
  size_t i = 0;
  while (i < len) {
    const uint64_t at = offset + i;
    const uint64_t word = Mix(key + (at >> 3) * 0xD6E8FEB86659FD93ull);
    for (unsigned b = static_cast<unsigned>(at & 7); b < 8 && i < len; ++b, ++i) {
      buf[i] = static_cast<uint8_t>(word >> (8 * b));
    }
  }
}

void FillContent(uint64_t seed, std::string_view path, uint64_t offset, uint8_t* buf, size_t len) {
  FillKeyed(ContentKey(seed, path), offset, buf, len);
}

uint8_t ContentByte(uint64_t seed, std::string_view path, uint64_t offset) {
  uint8_t b = 0;
  FillContent(seed, path, offset, &b, 1);
  return b;
}

void FillEntryContent(uint64_t seed, const Entry& file, uint64_t offset, uint8_t* buf, size_t len) {
  size_t done = 0;
  while (done < len && offset + done < file.head.size()) {
    buf[done] = file.head[static_cast<size_t>(offset + done)];
    ++done;
  }
  if (done < len) FillContent(seed, JoinPath(file.path), offset + done, buf + done, len - done);
}

int CompareNames(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t x = Upper(static_cast<uint8_t>(a[i])), y = Upper(static_cast<uint8_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

Entry* FindEntry(ImagePlan& plan, const Path& path) {
  for (Entry& e : plan.entries) {
    if (SamePath(e.path, path)) return &e;
  }
  return nullptr;
}

void PutFile(ImagePlan& plan, Path path, std::vector<uint8_t> bytes) {
  if (Entry* e = FindEntry(plan, path)) {
    *e = BytesFile(std::move(path), std::move(bytes));
    return;
  }
  plan.entries.push_back(BytesFile(std::move(path), std::move(bytes)));
}

size_t RemoveEntries(ImagePlan& plan, const Path& path) {
  const size_t before = plan.entries.size();
  std::erase_if(plan.entries, [&](const Entry& e) { return IsBelow(e.path, path); });
  return before - plan.entries.size();
}

bool WriteImage(const ImagePlan& plan, const std::filesystem::path& out, std::string& errorText) {
  WriteReport report;
  return WriteImage(plan, out, errorText, report, false);
}

bool WriteImage(const ImagePlan& plan, const std::filesystem::path& out, std::string& errorText,
                WriteReport& report, bool hashFiles) {
  Layout lay;
  std::string err;
  if (!BuildLayout(plan, lay, err)) {
    errorText = err;
    return false;
  }
  const std::string outName = out.string();
  Writer w;
  if (!w.Open(out)) {
    errorText = "Cannot create \"" + outName + "\".";
    return false;
  }
  const auto failWrite = [&] {
    errorText = "Cannot write \"" + outName + "\".";
    return false;
  };

  const Node& root = lay.nodes[0];
  uint8_t desc[kSectorSize] = {};
  std::memcpy(desc, kVolumeMagic.data(), kVolumeMagic.size());
  ByteWriter d(desc);
  d.U32(20, root.tableBytes > 0 ? root.sector : 0);
  d.U32(24, root.tableBytes);
  d.U64(28, plan.timestamp);
  std::memcpy(desc + 2028, kVolumeMagic.data(), kVolumeMagic.size());
  if (!w.MoveTo(plan.base + kDescriptorOffset) || !w.Write(desc, sizeof desc)) return failWrite();

  for (int id : lay.folders) {
    const Node& folder = lay.nodes[id];
    const std::vector<uint8_t> table = TableBytes(lay, folder);
    if (!w.MoveTo(plan.base + uint64_t{folder.sector} * kSectorSize) || !w.Write(table.data(), table.size())) {
      return failWrite();
    }
  }

  report = WriteReport{};
  report.rootTableOffset = plan.base + uint64_t{root.sector} * kSectorSize;
  report.rootTableSize = root.tableBytes;
  constexpr size_t kChunk = 1 << 20;
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
  for (int id : lay.listing) {
    const Node& n = lay.nodes[id];
    WrittenItem item;
    item.path = n.path;
    item.joined = JoinPath(n.path);
    item.isFolder = n.isFolder;
    item.offset = plan.base + uint64_t{n.sector} * kSectorSize;
    item.size = n.size;
    item.recordOffset = n.recordOffset;
    if (!n.isFolder) {
      ++report.fileCount;
      report.totalFileBytes += n.size;
      Sha256 hash;
      if (n.size > 0 && !w.MoveTo(item.offset)) return failWrite();
      const Entry& e = *n.entry;
      const uint64_t key = ContentKey(plan.seed, item.joined);
      for (uint64_t done = 0; done < n.size;) {
        const size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, n.size - done));
        size_t fromHead = 0;
        if (done < e.head.size()) {
          fromHead = static_cast<size_t>(std::min<uint64_t>(len, e.head.size() - done));
          std::memcpy(chunk.get(), e.head.data() + done, fromHead);
        }
        FillKeyed(key, done + fromHead, chunk.get() + fromHead, len - fromHead);
        if (hashFiles) hash.Update(chunk.get(), len);
        if (!w.Write(chunk.get(), len)) return failWrite();
        done += len;
      }
      if (hashFiles) item.sha256 = hash.Final();
    }
    report.items.push_back(std::move(item));
  }
  report.imageSize = plan.base + lay.sectors * kSectorSize;
  if (!w.Finish(report.imageSize)) return failWrite();
  return true;
}

}  // namespace tf::discgen
