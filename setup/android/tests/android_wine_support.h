#pragma once
// Helpers for the Android builder's tests under Wine: install folders laid out
// in the test, an independent reading of packages and packs, the user's key
// containers, and the per-user key folder put back as it was.
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/game_edition.h"  // the names the tests pack
#include "win_test_support.h"

namespace tf::android {
// The Wine test helpers the Android tests use, by their short names.
using test::FileExists;
using test::ReadText;
using test::TempDir;
}  // namespace tf::android

namespace tf::android::testing {

// The content rule of laid-out files: byte i of the file with this name.
std::vector<uint8_t> FileContent(const std::string& name, uint64_t size);

struct LaidOutFile {
  std::string name;  // relative, "/" separated (the archive name it must get)
  uint64_t size;
};
// Writes the files (and their folders) below `folder`.
bool LayOut(const std::wstring& folder, const std::vector<LaidOutFile>& files);
// A small install: default.xbe, nested GFX folders with an empty file and an
// empty folder, AUDMUSIC, AUDSoundFX, arabic_font.bin, and dot-names that stay out.
bool LayOutGameFolder(const std::wstring& folder);

// One entry as the package's central directory lists it.
struct ZipItem {
  std::string name;
  uint32_t crc = 0, size = 0, localOffset = 0, localCrc = 0;
  uint64_t dataOffset = 0;
};
// Walks the end record and the central directory; false on any inconsistency.
bool ListZip(const std::vector<uint8_t>& zip, std::vector<ZipItem>& items);
std::vector<uint8_t> ItemBytes(const std::vector<uint8_t>& zip, const ZipItem& item);

// The files of a game pack: (name, bytes), in pack order; false when malformed.
bool ParsePak(const std::vector<uint8_t>& pak, std::vector<std::pair<std::string, std::vector<uint8_t>>>& files);

// The stand-in template the build generated, read from the build folder.
std::vector<uint8_t> StandInTemplate();

// The fixed openssl keys of tests/keys (name with its extension); empty when missing.
std::vector<uint8_t> FixedKeyFile(const std::wstring& name);

// Verifies a detached signature over `content` and returns the signer's
// certificate (DER); empty when it does not verify.
std::vector<uint8_t> VerifiedSigner(const std::vector<uint8_t>& signature, const std::string& content);

// The user's key containers when it is made; when it goes, the test fails
// unless they are the same again (none left behind, none deleted).
class KeyContainersKept {
 public:
  KeyContainersKept();
  ~KeyContainersKept();
  KeyContainersKept(const KeyContainersKept&) = delete;
  KeyContainersKept& operator=(const KeyContainersKept&) = delete;
  const std::set<std::wstring>& Before() const { return before_; }

 private:
  std::set<std::wstring> before_;
};

// LocalAppData\Tarnfell as it was before the test: files the test made go,
// and the folder itself when the test made it.
class UserKeyFolderGuard {
 public:
  UserKeyFolderGuard();
  ~UserKeyFolderGuard();
  const std::wstring& Folder() const { return folder_; }

 private:
  std::wstring folder_;
  bool existed_ = false;
  std::set<std::wstring> before_;
};

}  // namespace tf::android::testing
