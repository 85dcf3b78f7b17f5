// The game-like tree: what the installer selects, what it must skip, and
// filler files that bring the volume to the wanted statistics.
#include <algorithm>
#include <cstdio>

#include "discgen.h"
#include "xmf/testing/xmf_builder.h"

namespace tf::discgen {
namespace {

class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed ^ 0x5DEECE66DA3B9F1Dull) {}
  uint64_t Next() {
    uint64_t x = (s_ += 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  }

 private:
  uint64_t s_;
};

struct FillerSlot {
  Path folder;
  const char* pattern;  // printf pattern with one %u
  uint32_t weight;
};

std::vector<FillerSlot> FillerSlots() {
  std::vector<FillerSlot> slots;
  for (const Arena& a : kArenas) slots.push_back({{"GFX", a.folder}, "TEX%03u.XPR", 4});
  slots.push_back({{"GFX", "FONTS"}, "FONT%03u.XPR", 2});
  slots.push_back({{"GFX", "MENU"}, "MENU%03u.XPR", 2});
  slots.push_back({{"GFX", "MENU", "ICONS"}, "ICON%03u.XPR", 1});
  slots.push_back({{"AUDMUSIC"}, "TRACK%03u.WMA", 12});
  slots.push_back({{"AUDSoundFX"}, "SFX%04u.WAV", 2});
  slots.push_back({{"MOVIES"}, "MOVIE%02u.XMV", 16});
  return slots;
}

std::string Numbered(const char* pattern, unsigned n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, n);
  return buf;
}

Entry WithHead(Entry e, std::string_view head) {
  e.head.assign(head.begin(), head.end());
  return e;
}

constexpr uint64_t kMiB = 1 << 20;

bool FitsU32(uint64_t n) { return n <= 0xFFFFFFFFull; }
constexpr uint64_t kMaxTotal = uint64_t{1} << 44;  // 16 TiB; keeps the weight arithmetic in 64 bits

}  // namespace

const char* HostileKindName(HostileKind kind) {
  switch (kind) {
    case HostileKind::Backslash: return "backslash";
    case HostileKind::Slash: return "slash";
    case HostileKind::Colon: return "colon";
    case HostileKind::Nul: return "nul";
    case HostileKind::Dot: return "dot";
    case HostileKind::DotDot: return "dotdot";
    case HostileKind::Ansi: return "ansi";
  }
  return "?";
}

bool ParseHostileKind(std::string_view text, HostileKind& kind) {
  for (HostileKind k : kHostileKinds) {
    if (text == HostileKindName(k)) {
      kind = k;
      return true;
    }
  }
  return false;
}

std::string HostileName(HostileKind kind) {
  switch (kind) {
    case HostileKind::Backslash: return "..\\..\\EVIL_BACKSLASH.TXT";
    case HostileKind::Slash: return "../../EVIL_SLASH.TXT";
    case HostileKind::Colon: return "EVIL.TXT:STREAM";
    case HostileKind::Nul: return std::string("EVIL\0NUL.TXT", 12);
    case HostileKind::Dot: return ".";
    case HostileKind::DotDot: return "..";
    case HostileKind::Ansi: return "\xC9T\xC9_\xE4\xF6\xFC\xDF.TXT";  // Windows-1252 accents
  }
  return {};
}

std::vector<Entry> HostileEntries(HostileKind kind) {
  const std::string name = HostileName(kind);
  if (kind == HostileKind::Dot || kind == HostileKind::DotDot) {
    return {Folder({"GFX", name}), GeneratedFile({"GFX", name, "ESCAPE.TXT"}, 333)};
  }
  return {GeneratedFile({"GFX", name}, 333)};
}

bool GameTree(const GameOptions& o, ImagePlan& plan, std::string& errorText) {
  if (o.retail && o.totalBytes != 0) {
    errorText = "Retail statistics and a total size cannot be asked for together.";
    return false;
  }
  if (o.totalBytes > kMaxTotal) {
    errorText = "The total size is too large.";
    return false;
  }
  plan = ImagePlan{};
  plan.base = o.base;
  plan.timestamp = o.timestamp;
  plan.seed = o.seed;
  std::vector<Entry>& e = plan.entries;
  const bool large = o.retail || o.totalBytes != 0;

  e.push_back(WithHead(GeneratedFile({"default.xbe"}, large ? 1212436 : 65556), "XBEH"));

  e.push_back(Folder({"GFX"}));
  for (size_t i = 0; i < std::size(kArenas); ++i) {
    const Arena& a = kArenas[i];
    e.push_back(Folder({"GFX", a.folder}));
    if (o.arenaContainer) {
      std::vector<uint8_t> bytes;
      if (o.arenaContainer(a.folder, a.container, bytes)) {
        if (!FitsU32(bytes.size())) {
          errorText = std::string("The container for ") + a.folder + " is too large.";
          return false;
        }
        e.push_back(BytesFile({"GFX", a.folder, a.container}, std::move(bytes)));
      }
    } else {
      // Valid XMF containers; KITCHEN's holds the textured "WPH2" the install copies.
      bool kitchen = std::string_view(a.folder) == "KITCHEN";
      e.push_back(BytesFile({"GFX", a.folder, a.container},
                            xmf::testing::BuildArenaContainer(static_cast<uint32_t>(o.seed * 131 + i), kitchen)));
    }
  }
  // SCRAP's arena is WEAPONS.xmf; an OBJECTS.xmf beside it must stay as it is.
  e.push_back(BytesFile({"GFX", "SCRAP", "OBJECTS.xmf"},
                        xmf::testing::BuildArenaContainer(static_cast<uint32_t>(o.seed * 131 + 99), false)));
  e.push_back(Folder({"GFX", "FONTS"}));
  e.push_back(Folder({"GFX", "MENU"}));
  e.push_back(Folder({"GFX", "MENU", "ICONS"}));
  e.push_back(Folder({"AUDMUSIC"}));
  e.push_back(Folder({"AUDSoundFX"}));

  // Decoys: look like game files but lie outside what the installer takes.
  e.push_back(WithHead(GeneratedFile({"$SystemUpdate", "default.xbe"}, 20480 + 7), "XBEH"));
  e.push_back(GeneratedFile({"$SystemUpdate", "UPDATE.BIN"}, 7000));
  e.push_back(GeneratedFile({"GFXDATA", "x.bin"}, 1234));
  e.push_back(GeneratedFile({"GFX.BIN"}, 555));
  e.push_back(GeneratedFile({"MOVIES", "INTRO.XMV"}, 40000));

  if (o.zeroLengthFiles) {
    e.push_back(GeneratedFile({"GFX", "EMPTY.DAT"}, 0));
    e.push_back(GeneratedFile({"AUDSoundFX", "SILENCE.WAV"}, 0));
    e.push_back(Folder({"GFX", "UNUSED"}));
  }
  if (o.deepNesting) {
    Path p = {"GFX"};
    for (unsigned level = 1; level <= 20; ++level) {
      p.push_back(Numbered("D%02u", level));
      e.push_back(Folder(p));
      Path file = p;
      file.push_back(Numbered("LEVEL%02u.BIN", level));
      e.push_back(GeneratedFile(std::move(file), 100 + level));
    }
  }
  if (o.edgeSizes) {
    e.push_back(GeneratedFile({"AUDMUSIC", "EDGE_1M_MINUS1.BIN"}, kMiB - 1));
    e.push_back(GeneratedFile({"AUDMUSIC", "EDGE_1M.BIN"}, kMiB));
    e.push_back(GeneratedFile({"AUDMUSIC", "EDGE_1M_PLUS1.BIN"}, kMiB + 1));
  }
  for (HostileKind kind : o.hostileNames) {
    for (Entry& h : HostileEntries(kind)) {
      if (!FindEntry(plan, h.path)) e.push_back(std::move(h));
    }
  }

  uint64_t fixedFiles = 0, fixedBytes = 0;
  for (const Entry& x : e) {
    if (!x.isFolder) {
      ++fixedFiles;
      fixedBytes += x.size;
    }
  }
  uint64_t total = 0, fillers = 0;
  if (o.retail) {
    if (fixedFiles >= kRetailFileCount) {
      errorText = "Too many fixed files for the retail file count.";
      return false;
    }
    total = kRetailTotalBytes;
    fillers = kRetailFileCount - fixedFiles;
  } else if (o.totalBytes != 0) {
    total = o.totalBytes;
    const uint64_t rest = total > fixedBytes ? total - fixedBytes : 0;
    fillers = o.fillerFiles ? o.fillerFiles : std::max<uint64_t>(24, (rest + 128 * kMiB - 1) / (128 * kMiB));
  } else {
    total = fixedBytes + 4 * kMiB;
    fillers = o.fillerFiles ? o.fillerFiles : 60;
  }
  if (total < fixedBytes) {
    errorText = "The fixed files alone hold " + std::to_string(fixedBytes) + " bytes, more than the total asked for.";
    return false;
  }
  const uint64_t fillerBytes = total - fixedBytes;
  if (fillers == 0 && fillerBytes != 0) {
    errorText = "No filler files to carry the remaining bytes.";
    return false;
  }

  // Weighted random sizes, the rounding rest on the last file.
  const std::vector<FillerSlot> slots = FillerSlots();
  Rng rng(o.seed);
  std::vector<uint64_t> weights(fillers);
  uint64_t weightSum = 0;
  for (uint64_t i = 0; i < fillers; ++i) {
    weights[i] = slots[i % slots.size()].weight * (1 + rng.Next() % 16);
    weightSum += weights[i];
  }
  uint64_t assigned = 0;
  for (uint64_t i = 0; i < fillers; ++i) {
    uint64_t size = fillerBytes / weightSum * weights[i] + fillerBytes % weightSum * weights[i] / weightSum;
    if (i + 1 == fillers) size = fillerBytes - assigned;
    if (size > 0xFFFFFFFFull) {
      errorText = "A filler file would exceed 4 GiB; ask for more filler files.";
      return false;
    }
    assigned += size;
    const FillerSlot& slot = slots[i % slots.size()];
    Path p = slot.folder;
    p.push_back(Numbered(slot.pattern, static_cast<unsigned>(i / slots.size() + 1)));
    e.push_back(GeneratedFile(std::move(p), static_cast<uint32_t>(size)));
  }
  return true;
}

bool WriteGameImage(const GameOptions& options, const std::filesystem::path& out, std::string& errorText) {
  ImagePlan plan;
  return GameTree(options, plan, errorText) && WriteImage(plan, out, errorText);
}

}  // namespace tf::discgen
