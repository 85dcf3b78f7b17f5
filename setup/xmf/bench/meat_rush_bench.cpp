// PrepareMeatRush over thirteen arena containers of a few MiB each, against the
// floor of reading and writing the same files once. Prints both and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/game_edition.h"
#include "xmf/arena_patch.h"
#include "xmf/testing/std_files.h"
#include "xmf/testing/xmf_builder.h"

namespace fs = std::filesystem;
using namespace tf;
using namespace tf::xmf;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}
void WriteAll(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t approx = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) << 20 : 3u << 20;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path root = fs::temp_directory_path() / "tf_xmf_bench";
  fs::remove_all(root);
  std::vector<std::vector<uint8_t>> originals;
  std::vector<fs::path> paths;
  size_t total = 0;
  for (size_t i = 0; i < std::size(ArenaTable); ++i) {
    const fs::path folder = root / kGraphicsFolderName / ArenaTable[i].folder;
    fs::create_directories(folder);
    paths.push_back(folder / ArenaTable[i].container);
    originals.push_back(testing::BuildArenaContainer(static_cast<uint32_t>(500 + i), i == 0, approx));
    total += originals.back().size();
  }
  std::printf("13 containers, %.1f MiB in all\n", total / 1048576.0);

  std::vector<double> floors, patches;
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < paths.size(); ++i) WriteAll(paths[i], originals[i]);
    auto start = std::chrono::steady_clock::now();
    for (const fs::path& p : paths) {
      const std::vector<uint8_t> bytes = ReadAll(p);
      WriteAll(p.string() + ".floor", bytes);
    }
    floors.push_back(Seconds(start));
    for (const fs::path& p : paths) fs::remove(p.string() + ".floor");

    start = std::chrono::steady_clock::now();
    const MeatRushResult r = PrepareMeatRushWith(testing::StdArenaFiles(), root.wstring());
    patches.push_back(Seconds(start));
    if (r.patched != 13) {
      std::printf("patching failed: %s\n", r.message.c_str());
      return 1;
    }
  }
  std::sort(floors.begin(), floors.end());
  std::sort(patches.begin(), patches.end());
  const double floor = floors[floors.size() / 2], patch = patches[patches.size() / 2];
  std::printf("floor (read + write once): %.3f s\nPrepareMeatRush: %.3f s\nratio: %.2f\n", floor, patch, patch / floor);
  fs::remove_all(root);
  return 0;
}
