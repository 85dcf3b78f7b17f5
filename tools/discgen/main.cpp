// discgen: writes a game-like XDVDFS image for tests, benchmarks and demos.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "discgen.h"

namespace dg = tf::discgen;

namespace {

const char kUsage[] =
    "usage: discgen [options] OUT.iso\n"
    "\n"
    "Writes an Xbox disc image (XDVDFS) holding a game-like tree: default.xbe,\n"
    "GFX with the thirteen arena folders, AUDMUSIC, AUDSoundFX, and decoys\n"
    "($SystemUpdate\\default.xbe, GFXDATA\\x.bin, MOVIES, GFX.BIN).\n"
    "\n"
    "  --base N            volume base: 0 (default) or 0x18300000 (sparse full-disc image)\n"
    "  --retail            exactly 454 files and 231662584 bytes over the whole volume\n"
    "  --total-bytes N     exact total of all file bytes; suffix K, M or G for KiB, MiB, GiB\n"
    "  --filler-files N    number of bulk files (default: automatic)\n"
    "  --timestamp HEX     volume timestamp (default 01C38D5623C39530)\n"
    "  --seed N            content seed (default 1); same options and seed, same bytes\n"
    "  --zero-length       add zero-length files and an empty folder\n"
    "  --deep              add GFX\\D01\\...\\D20, one LEVELnn.BIN per level\n"
    "  --edge-sizes        add AUDMUSIC files of 1 MiB - 1, 1 MiB and 1 MiB + 1 bytes\n"
    "  --hostile-name K    add a hostile name below GFX; K is backslash, slash, colon,\n"
    "                      nul, dot, dotdot, ansi or all; may be repeated\n"
    "  --list              print every entry in directory-table order:\n"
    "                        F <size> <sha256> <path>   for a file\n"
    "                        D <size> - <path>          for a folder (size of its table)\n"
    "                      paths are joined with '\\'; bytes outside 0x20..0x7E and a\n"
    "                      backslash inside a name are printed as \\xHH\n"
    "  -h, --help          this text\n"
    "\n"
    "A summary line goes to standard error. Exit code 0 on success, 1 on failure,\n"
    "2 on a usage error.\n";

bool ParseNumber(const char* text, uint64_t& out, int base = 0) {
  if (!text || !*text || *text == '-') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, base);
  if (errno != 0 || end == text) return false;
  uint64_t mult = 1;
  if (*end == 'K' || *end == 'k') mult = uint64_t{1} << 10;
  if (*end == 'M' || *end == 'm') mult = uint64_t{1} << 20;
  if (*end == 'G' || *end == 'g') mult = uint64_t{1} << 30;
  if (mult != 1) ++end;
  if (*end != '\0' || v > UINT64_MAX / mult) return false;
  out = v * mult;
  return true;
}

std::string Printable(const dg::Path& path) {
  std::string s;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) s.push_back('\\');
    for (unsigned char c : path[i]) {
      if (c < 0x20 || c > 0x7E || c == '\\') {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", c);
        s += buf;
      } else {
        s.push_back(static_cast<char>(c));
      }
    }
  }
  return s;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "discgen: %s\n\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  dg::GameOptions opt;
  bool list = false;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    uint64_t n = 0;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--base") {
      if (!ParseNumber(value, n) || n % dg::kSectorSize != 0) return Usage("--base needs a multiple of 2048");
      opt.base = n;
      ++i;
    } else if (a == "--retail") {
      opt.retail = true;
    } else if (a == "--total-bytes") {
      if (!ParseNumber(value, n) || n == 0) return Usage("--total-bytes needs a positive number");
      opt.totalBytes = n;
      ++i;
    } else if (a == "--filler-files") {
      if (!ParseNumber(value, n) || n > 1000000) return Usage("--filler-files needs a number up to 1000000");
      opt.fillerFiles = static_cast<uint32_t>(n);
      ++i;
    } else if (a == "--timestamp") {
      if (!ParseNumber(value, n, 16)) return Usage("--timestamp needs a hexadecimal number");
      opt.timestamp = n;
      ++i;
    } else if (a == "--seed") {
      if (!ParseNumber(value, n)) return Usage("--seed needs a number");
      opt.seed = n;
      ++i;
    } else if (a == "--zero-length") {
      opt.zeroLengthFiles = true;
    } else if (a == "--deep") {
      opt.deepNesting = true;
    } else if (a == "--edge-sizes") {
      opt.edgeSizes = true;
    } else if (a == "--hostile-name") {
      dg::HostileKind kind;
      if (value && std::strcmp(value, "all") == 0) {
        opt.hostileNames.assign(dg::kHostileKinds.begin(), dg::kHostileKinds.end());
      } else if (value && dg::ParseHostileKind(value, kind)) {
        opt.hostileNames.push_back(kind);
      } else {
        return Usage("unknown --hostile-name kind");
      }
      ++i;
    } else if (a == "--list") {
      list = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage(("unknown option " + a).c_str());
    } else if (!out) {
      out = argv[i];
    } else {
      return Usage("only one output file");
    }
  }
  if (!out) return Usage("no output file");

  dg::ImagePlan plan;
  std::string err;
  dg::WriteReport report;
  if (!dg::GameTree(opt, plan, err) || !dg::WriteImage(plan, out, err, report, list)) {
    std::fprintf(stderr, "discgen: %s\n", err.c_str());
    return 1;
  }
  if (list) {
    for (const dg::WrittenItem& item : report.items) {
      if (item.isFolder) {
        std::printf("D %u - %s\n", item.size, Printable(item.path).c_str());
      } else {
        std::printf("F %u %s %s\n", item.size, dg::HexDigest(item.sha256).c_str(), Printable(item.path).c_str());
      }
    }
  }
  std::fprintf(stderr, "discgen: wrote %s: %u files, %llu file bytes, image %llu bytes, volume base 0x%llX\n", out,
               report.fileCount, static_cast<unsigned long long>(report.totalFileBytes),
               static_cast<unsigned long long>(report.imageSize), static_cast<unsigned long long>(plan.base));
  return std::fflush(stdout) == 0 ? 0 : 1;
}
