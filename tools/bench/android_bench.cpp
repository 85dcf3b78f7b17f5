// Timing helper for tools/bench-android.sh, run under Wine:
//   android_bench build TEMPLATE INSTALL KEYFOLDER PACKAGE   BuildAndroidPackage
//   android_bench hash INSTALL    CryptoAPI SHA-256 alone over the game files' bytes
// Each prints "<what> <bytes> <seconds>"; build adds the CPU time of all its
// threads, hash the times of the CRC-32 and of the reads.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "android/crc32.h"
#include "android/crypto_hash.h"
#include "android/game_files.h"
#include "android/key_store.h"
#include "android/package_builder.h"
#include "common/game_edition.h"
#include "common/win32_file.h"

namespace {

using namespace tf::android;

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// User and kernel time of this process (all its threads), in seconds.
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto s = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return s(kernel) + s(user);
}

bool List(const wchar_t* install, std::vector<GameFile>& files, uint64_t& bytes) {
  std::string error;
  if (!CollectGameFiles(install, tf::GamePackNames, tf::kGamePackNameCount, files, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  bytes = 0;
  for (const GameFile& f : files) bytes += f.size;
  return true;
}

int Build(const wchar_t* templatePath, const wchar_t* install, const wchar_t* keyFolder, const wchar_t* package) {
  std::vector<uint8_t> templateBytes;
  if (tf::ReadWholeFile(templatePath, templateBytes, 1u << 30) != tf::FileRead::Ok) return 1;
  std::wstring pfxPath = std::wstring(keyFolder) + L"\\android-signing.pfx";
  std::string error;
  KeyMaterial key;  // made before the clock starts: a first build's key is not the pack's cost
  if (!LoadOrCreateSigningKey(pfxPath, key, error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  std::vector<GameFile> files;
  uint64_t bytes = 0;
  if (!List(install, files, bytes)) return 1;
  const double cpu = CpuSeconds(), start = Now();
  if (!BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), pfxPath, install,
                           tf::GamePackNames, tf::kGamePackNameCount, package, nullptr, nullptr, error))
    return std::fprintf(stderr, "build: %s\n", error.c_str()), 1;
  const double seconds = Now() - start;
  std::printf("build %llu %.3f cpu %.3f\n", static_cast<unsigned long long>(bytes), seconds, CpuSeconds() - cpu);
  return 0;
}

int Hash(const wchar_t* install) {
  std::vector<GameFile> files;
  uint64_t bytes = 0;
  if (!List(install, files, bytes)) return 1;
  std::vector<uint8_t> buffer(kPakBufferBytes);
  Sha256Hash hash;
  if (!hash.Open()) return 1;
  double hashing = 0, crcing = 0, reading = 0;
  uint32_t crc = kCrc32Start;
  for (const GameFile& f : files) {
    tf::UniqueFile file(CreateFileW(f.sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    for (uint64_t left = f.size; left > 0;) {
      DWORD n = static_cast<DWORD>(left < kPakBufferBytes ? left : kPakBufferBytes);
      double t0 = Now();
      if (!tf::ReadFully(file.Get(), buffer.data(), n)) return 1;
      double t1 = Now();
      if (!hash.Update(buffer.data(), n)) return 1;
      double t2 = Now();
      crc = Crc32Update(crc, buffer.data(), n);
      double t3 = Now();
      reading += t1 - t0;
      hashing += t2 - t1;
      crcing += t3 - t2;
      left -= n;
    }
  }
  Sha256Digest digest;
  double t0 = Now();
  if (!hash.Finish(digest)) return 1;
  hashing += Now() - t0;
  std::printf("hash %llu %.3f crc %.3f read %.3f (crc %08x)\n", static_cast<unsigned long long>(bytes), hashing,
              crcing, reading, Crc32Finish(crc));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring what = argc > 1 ? argv[1] : L"";
  if (what == L"build" && argc == 6) return Build(argv[2], argv[3], argv[4], argv[5]);
  if (what == L"hash" && argc == 3) return Hash(argv[2]);
  std::fprintf(stderr, "usage: android_bench build TEMPLATE INSTALL KEYFOLDER PACKAGE | hash INSTALL\n");
  return 2;
}
