// The install's Android step with the template this test program carries as
// resource 111: package and README in the install folder, the progress it
// reports, what a failed or cancelled build leaves, the read-only folders,
// and the message the install shows.
#include "android/android_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "android/game_files.h"
#include "android/jar_manifest.h"
#include "android/key_container.h"
#include "android_wine_support.h"
#include "common/progress_math.h"
#include "common/text.h"
#include "common/win32_file.h"
#include "win_test_support.h"

namespace tf::android {
namespace {

std::set<std::wstring> FolderItems(const std::wstring& folder) {
  const std::vector<std::wstring> names = test::FolderNames(folder);
  return {names.begin(), names.end()};
}

using Reports = std::vector<std::pair<int, std::wstring>>;

// What the step reports, and a cancel request it finds when asked.
struct RecordingReporter final : InstallReporter {
  void Report(int percent, const std::wstring& text) override { reports.emplace_back(percent, text); }
  bool Fail(const std::wstring&) override { return false; }
  bool IsCancelled() override { return cancelled; }
  Reports Take() { return std::exchange(reports, {}); }

  Reports reports;
  bool cancelled = false;
};

class AndroidApp : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::LayOutGameFolder(install)); }
  bool Build(std::string& failure) {
    failure.clear();
    return BuildAndroidApp(reporter, install, {}, failure);
  }

  testing::UserKeyFolderGuard userKeys;
  testing::KeyContainersKept containers;
  TempDir dir;
  std::wstring install = dir / L"Game", android = dir / L"Game\\Android";
  RecordingReporter reporter;
};

TEST_F(AndroidApp, PackageReadmeKeyAndProgress) {
  std::string failure;
  ASSERT_TRUE(Build(failure)) << failure;
  EXPECT_EQ(FolderItems(android), (std::set<std::wstring>{L"Tarnfell.apk", L"README.txt"}));
  EXPECT_EQ(ReadText(android + L"\\README.txt"), AndroidReadme());
  std::set<std::wstring> keyFiles = FolderItems(userKeys.Folder());
  EXPECT_TRUE(keyFiles.count(L"android-signing.pfx") ||
              (keyFiles.count(L"android-signing.pfx.cer") && keyFiles.count(L"android-signing.pfx.key")));

  // One line per game file at 90..96, in the order the files were packed, then the signing line at 96.
  std::vector<GameFile> files;
  std::string error;
  ASSERT_TRUE(CollectGameFiles(install, GamePackNames, kGamePackNameCount, files, error));
  uint64_t total = 0, done = 0;
  for (const GameFile& f : files) total += f.size;
  Reports expected;
  for (const GameFile& f : files) {
    done += f.size;
    expected.emplace_back(BuildProgressPercent(done, total), L"Packing the game into the Android app\u2026");
  }
  expected.emplace_back(96, L"Signing the Android app\u2026");
  EXPECT_EQ(reporter.Take(), expected);

  // The same user's next build is the same package, byte for byte.
  std::vector<uint8_t> first, second;
  ASSERT_TRUE(test::ReadFileBytes(android + L"\\Tarnfell.apk", first));
  ASSERT_TRUE(Build(failure)) << failure;
  ASSERT_TRUE(test::ReadFileBytes(android + L"\\Tarnfell.apk", second));
  EXPECT_TRUE(first == second);
}

TEST_F(AndroidApp, AFailedOrCancelledBuildLeavesNoPackage) {
  std::string failure;
  ASSERT_TRUE(Build(failure)) << failure;
  ASSERT_TRUE(test::WriteFileBytes(android + L"\\notes.txt", "mine", 4));
  reporter.Take();
  reporter.cancelled = true;
  EXPECT_FALSE(Build(failure));
  EXPECT_EQ(failure, "cancelled");
  EXPECT_EQ(reporter.Take(), Reports{}) << "a cancelled build reports nothing";
  EXPECT_EQ(FolderItems(android), (std::set<std::wstring>{L"README.txt", L"notes.txt"}));
  reporter.cancelled = false;

  // A failure before the package file is made removes an earlier package too.
  ASSERT_TRUE(Build(failure));
  for (const wchar_t* name : GamePackNames) test::RemoveTree(install + L"\\" + name), DeleteFileW((install + L"\\" + name).c_str());
  EXPECT_FALSE(Build(failure));
  EXPECT_EQ(failure, "No game files were found to pack.");
  EXPECT_FALSE(FileExists(android + L"\\Tarnfell.apk"));
  EXPECT_TRUE(FileExists(android + L"\\README.txt"));
}

TEST_F(AndroidApp, AReadOnlyPackageIsNeitherReplacedNorDeleted) {
  ASSERT_TRUE(CreateDirectoryW(android.c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(android + L"\\Tarnfell.apk", "mine", 4));
  ASSERT_TRUE(SetFileAttributesW((android + L"\\Tarnfell.apk").c_str(), FILE_ATTRIBUTE_READONLY));
  std::string failure;
  EXPECT_FALSE(Build(failure));
  EXPECT_EQ(failure, "The Android package could not be created.");
  EXPECT_EQ(ReadText(android + L"\\Tarnfell.apk"), "mine");
  SetFileAttributesW((android + L"\\Tarnfell.apk").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Stands in for the platform's PKCS#12 export, which Wine refuses: hands out
// a blob that cannot sign.
BOOL WINAPI ExportThatWorks(HCERTSTORE, CRYPT_DATA_BLOB* out, LPCWSTR, void*, DWORD) {
  static const uint8_t kBlob[] = {'P', 'F', 'X', '!'};
  if (out->pbData != nullptr) std::memcpy(out->pbData, kBlob, std::min<size_t>(out->cbData, sizeof(kBlob)));
  out->cbData = sizeof(kBlob);
  return TRUE;
}

// The step's key options reach the key store: with an export that works, a
// new key is stored as PKCS#12 (whose stand-in blob then fails the signing),
// unless the options switch the export off.
TEST_F(AndroidApp, TheKeyOptionsReachTheKeyStore) {
  const std::wstring pfx = userKeys.Folder() + L"\\android-signing.pfx";
  for (bool noPfx : {false, true}) {
    SCOPED_TRACE(noPfx);
    for (const wchar_t* suffix : {L"", L".cer", L".key", L".txt"}) DeleteFileW((pfx + suffix).c_str());
    KeyStoreOptions options;
    options.pfxExport = ExportThatWorks;
    options.noPfxExport = noPfx;
    std::string failure;
    EXPECT_EQ(BuildAndroidApp(reporter, install, options, failure), noPfx) << failure;
    EXPECT_EQ(FileExists(pfx), !noPfx);
    EXPECT_EQ(FileExists(pfx + L".cer") && FileExists(pfx + L".key"), noPfx);
  }
  for (const wchar_t* suffix : {L"", L".cer", L".key", L".txt"}) DeleteFileW((pfx + suffix).c_str());
}

// The fixed openssl keys planted in the user's key folder, then a real build:
// a package signed with the planted key's certificate (copied for
// check_signed_packages.sh, which runs apksigner on it), or a failure with a
// message and no package (an earlier one deleted), the planted files left as
// they were. Each PKCS#12 key has one value whose encoding is shorter than its
// field, or the exponent 17: Wine's import writes such a value and the later
// ones as zeros, and every exponent as 65537.
TEST_F(AndroidApp, PlantedKeysSignThePackageOrFailTheBuild) {
  const std::wstring out = test::FromUnixPath(TF_ANDROID_SIGNED_DIR), keys = userKeys.Folder();
  test::RemoveTree(out);
  ASSERT_TRUE(CreateFolderChain(out));
  ASSERT_TRUE(CreateFolderChain(keys));
  const std::wstring pfx = keys + L"\\android-signing.pfx", package = android + L"\\Tarnfell.apk";
  const std::string mismatch = "The stored signing key \"" + test::Utf8(pfx) +
                               ".key\" does not belong to the certificate \"" + test::Utf8(pfx) + ".cer\".";
  struct Case {
    const wchar_t* name;
    std::vector<std::pair<std::wstring, std::wstring>> planted;  // fixed key file, name in the key folder
    std::string failure;  // empty: the build must succeed
  } cases[] = {
      {L"short-dp", {{L"short-dp.pfx", pfx}}, ""},
      {L"short-dq", {{L"short-dq.pfx", pfx}}, ""},
      {L"short-qinv", {{L"short-qinv.pfx", pfx}}, ""},
      {L"short-d", {{L"short-d.pfx", pfx}}, ""},
      {L"exponent-17", {{L"exponent-17.pfx", pfx}}, ""},
      // Wine's import leaves this key without its primes; a platform that keeps them may sign.
      {L"short-p", {{L"short-p.pfx", pfx}}, "The signing key in the PKCS#12 file could not be imported intact."},
      {L"mismatched", {{L"mismatched.cer", pfx + L".cer"}, {L"mismatched.key", pfx + L".key"}}, mismatch},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(test::Utf8(c.name));
    for (const wchar_t* suffix : {L"", L".cer", L".key", L".txt"}) DeleteFileW((pfx + suffix).c_str());
    for (const auto& [from, to] : c.planted) {
      const std::vector<uint8_t> bytes = testing::FixedKeyFile(from);
      ASSERT_FALSE(bytes.empty()) << "tests/keys is incomplete";
      ASSERT_TRUE(test::WriteFileBytes(to, bytes.data(), bytes.size()));
    }
    std::string failure;
    const bool built = Build(failure);
    const std::vector<uint8_t> certificate = testing::FixedKeyFile(std::wstring(c.name) + L".der");
    if (!built && !c.failure.empty() && failure == c.failure) {
      EXPECT_FALSE(FileExists(package));
      for (const auto& [from, to] : c.planted) {
        std::vector<uint8_t> now;
        EXPECT_TRUE(test::ReadFileBytes(to, now) && now == testing::FixedKeyFile(from));
      }
      continue;
    }
    ASSERT_TRUE(built) << failure;
    ASSERT_FALSE(certificate.empty()) << "a package signed with the mismatched pair";
    std::vector<uint8_t> zip;
    std::vector<testing::ZipItem> items;
    ASSERT_TRUE(test::ReadFileBytes(package, zip) && testing::ListZip(zip, items));
    std::vector<uint8_t> signatureFile, block;
    for (const testing::ZipItem& item : items) {
      if (item.name == kSignatureFileName) signatureFile = testing::ItemBytes(zip, item);
      if (item.name == kSignatureBlockName) block = testing::ItemBytes(zip, item);
    }
    EXPECT_EQ(testing::VerifiedSigner(block, std::string(signatureFile.begin(), signatureFile.end())), certificate);
    EXPECT_TRUE(CopyFileW(package.c_str(), (out + L"\\" + c.name + L".apk").c_str(), FALSE));
  }
  for (const wchar_t* suffix : {L"", L".cer", L".key", L".txt"}) DeleteFileW((pfx + suffix).c_str());
}

// Folders the file system refuses to write into (made by the test fixture).
TEST_F(AndroidApp, ReadOnlyFolders) {
  const std::wstring root = test::FromUnixPath(TF_ANDROID_READONLY_DIR);
  if (FileExists(root + L"\\unsupported")) GTEST_SKIP() << "this file system cannot lock a folder";
  struct Case {
    const wchar_t* installFolder;
    const char* failure;
  } cases[] = {{L"install-locked", "the Android folder could not be created"},
               {L"android-locked", "The Android package could not be created."}};
  for (const Case& c : cases) {
    std::string failure;
    EXPECT_FALSE(BuildAndroidApp(reporter, root + L"\\" + c.installFolder, {}, failure));
    EXPECT_EQ(failure, c.failure);
  }
  EXPECT_FALSE(FileExists(root + L"\\install-locked\\Android"));
  EXPECT_FALSE(FileExists(root + L"\\android-locked\\Android\\Tarnfell.apk"));
}

// Plain ASCII with CR LF line ends, the title's 42-sign underline, the
// package named in the third piece, the four headings in order, each block
// closed by a blank line but the last.
TEST(AndroidReadme, PlainTextInItsShape) {
  const std::string& text = AndroidReadme();
  EXPECT_EQ(text.rfind("TARNFELL - ANDROID\r\n" + std::string(42, '=') + "\r\n\r\n\"Tarnfell.apk\" in this folder", 0), 0u);
  size_t lines = 0, previous = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    ASSERT_TRUE(text[i] >= ' ' ? text[i] < 127 : text[i] == '\r' || text[i] == '\n') << "at " << i;
    if (text[i] == '\n') {
      ASSERT_EQ(text[i - 1], '\r') << "at " << i;
    }
    lines += text[i] == '\n';
  }
  EXPECT_EQ(lines, 27u) << "22 lines of text and 5 blank ones";
  for (const char* heading : {"\r\n\r\nTO PLAY\r\n", "\r\n\r\nWHAT YOUR PHONE NEEDS\r\n",
                              "\r\n\r\nLAN PLAY WITH THE PC\r\n", "\r\n\r\nSAVES\r\n"}) {
    size_t at = text.find(heading);
    EXPECT_TRUE(at != std::string::npos && at > previous) << heading;
    previous = at;
  }
  EXPECT_EQ(text.substr(text.size() - 38), "  uninstalling the app removes them.\r\n");
}

TEST(AndroidFailureMessage, OneFullStopBeforeTheClosingSentence) {
  const std::string tail = ". The PC game is installed and working.";
  const std::string head = "The Android version could not be built: ";
  struct Case {
    const char* failure;
    const char* reason;
  } cases[] = {{"No game files were found to pack.", "No game files were found to pack"},
               {"cancelled", "cancelled"},
               {"the Android folder could not be created", "the Android folder could not be created"},
               {"The signing key could not be read (error 0).", "The signing key could not be read (error 0)"}};
  for (const Case& c : cases) EXPECT_EQ(AndroidFailureMessage(c.failure), head + c.reason + tail);
}

}  // namespace
}  // namespace tf::android
