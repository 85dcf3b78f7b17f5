// Replays fuzz inputs through a libFuzzer harness: every file named on the
// command line, or every file in a named folder. Exits non-zero on a crash
// (the sanitizers abort) and zero when every input ran.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool RunFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

int main(int argc, char** argv) {
  int ran = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      for (const auto& e : std::filesystem::directory_iterator(p, ec))
        if (e.is_regular_file() && RunFile(e.path())) ++ran;
    } else if (RunFile(p)) {
      ++ran;
    }
  }
  std::printf("replayed %d inputs\n", ran);
  return ran > 0 ? 0 : 1;
}
