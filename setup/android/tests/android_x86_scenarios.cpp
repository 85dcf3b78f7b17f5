// The real 32-bit installer with "/android": the log from 90 to 96 per cent,
// the package and its README beside the game, the package handed to Android's
// own verifier on the host (android_x86_package_check); the folder is
// uninstalled in wave 2. And a copy built without the Android template, whose
// install fails with the composed message before the uninstaller and the
// registration.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "android/game_files.h"
#include "common/game_edition.h"
#include "common/progress_math.h"
#include "uninstall_entry.h"
#include "x86_scenarios.h"

namespace tf::test::x86 {
namespace {

const char kEllipsis[] = "\xE2\x80\xA6";

// The log from the arena step on.
std::string LogFromArenaStep(const std::string& log) {
  size_t at = log.find("[ 90%] Preparing RAVU RIZO assets");
  return at == std::string::npos ? "<no arena step in the log>\n" + log : log.substr(at);
}

// The uninstall entry's folder in the 32-bit view, where a 32-bit program writes it.
std::wstring RegisteredFolder() {
  std::map<std::wstring, RegistryValue> entry;
  if (!ReadUninstallEntry(KEY_WOW64_32KEY, entry)) return {};
  return RegistryText(entry[L"InstallLocation"]);
}

class AndroidInstall : public Scenario {
 public:
  ProgramRun Prepare(Shared& shared) override {
    setup_ = shared.SetupCopy(L"setup-android");
    folder_ = shared.root / L"Games\\Android";
    DeleteFileW((FromUnixPath(TF_X86_ANDROID_DIR) + L"\\Tarnfell.apk").c_str());
    if (setup_.empty()) return {};
    return {setup_, L"/silent " + shared.sampleDisc + L" " + folder_ + L" /android", L"", false};
  }
  // Seen now: wave 2 uninstalls this folder.
  void AfterWave(Shared& shared) override {
    CreateDirectoryW(FromUnixPath(TF_X86_ANDROID_DIR).c_str(), nullptr);
    CopyFileW((folder_ + L"\\Android\\Tarnfell.apk").c_str(),
              (FromUnixPath(TF_X86_ANDROID_DIR) + L"\\Tarnfell.apk").c_str(), FALSE);
    std::string error;
    listed_ = tf::android::CollectGameFiles(folder_, tf::GamePackNames, tf::kGamePackNameCount, files_, error);
    package_ = FileExists(folder_ + L"\\Android\\Tarnfell.apk");
    readme_ = ReadText(folder_ + L"\\Android\\README.txt");
    if (result.exitCode == 0) shared.folders["android install"] = folder_;
  }
  void Check(const ProcessResult& r) override {
    const std::string log = ReadText(setup_ + L".log");
    EXPECT_EQ(r.exitCode, 0u) << log;
    ASSERT_TRUE(listed_);
    uint64_t total = 0, done = 0;
    for (const auto& f : files_) total += f.size;
    std::string expected = std::string("[ 90%] Preparing RAVU RIZO assets") + kEllipsis +
                           "\r\n[ 90%] Building the Android app" + kEllipsis + "\r\n";
    for (const auto& f : files_) {
      done += f.size;
      expected += tf::FormatLogPrefix(tf::BuildProgressPercent(done, total)) + "Packing the game into the Android app" +
                  kEllipsis + "\r\n";
    }
    expected += std::string("[ 96%] Signing the Android app") + kEllipsis + "\r\n[ 97%] Creating shortcuts" +
                kEllipsis + "\r\n[ 99%] Registering with Add or remove programs" + kEllipsis + "\r\n[100%] Done.\r\n";
    EXPECT_EQ(LogFromArenaStep(log), expected);
    EXPECT_TRUE(package_);
    EXPECT_NE(readme_.find("\"Tarnfell.apk\" in this folder is the complete game"), std::string::npos);
  }

 private:
  std::wstring setup_, folder_;
  std::vector<tf::android::GameFile> files_;
  bool listed_ = false, package_ = false;
  std::string readme_;
};
TF_X86_SCENARIO(AndroidInstall, "SilentInstallWithAndroidBuildsASignedPackage");

class AndroidWithoutTemplate : public Scenario {
 public:
  ProgramRun Prepare(Shared& shared) override {
    setup_ = shared.Folder(L"setup-no-template") + L"\\tf_setup.exe";
    folder_ = shared.root / L"Games\\NoTemplate";
    if (!CopyWithoutResource(DistFile(L"tf_setup.exe"), setup_, 111)) return {};
    return {setup_, L"/silent " + shared.sampleDisc + L" " + folder_ + L" /android", L"", false};
  }
  void AfterWave(Shared&) override { registered_ = RegisteredFolder(); }
  void Check(const ProcessResult& r) override {
    const std::string log = ReadText(setup_ + L".log");
    EXPECT_EQ(r.exitCode, 1u) << log;
    EXPECT_EQ(LogFromArenaStep(log), std::string("[ 90%] Preparing RAVU RIZO assets") + kEllipsis +
                                         "\r\n[ 90%] Building the Android app" + kEllipsis +
                                         "\r\n[ 90%] Failed: The Android version could not be built: this installer "
                                         "was built without the Android template. The PC game is installed and "
                                         "working.\r\n");
    for (const wchar_t* name : {L"default.xbe", L"Tarnfell.exe", L"tf_hybrid.dll", L"tarnfell.ini"})
      EXPECT_TRUE(FileExists(folder_ + L"\\" + name)) << Utf8(name);
    EXPECT_FALSE(FileExists(folder_ + L"\\uninstall.exe"));
    EXPECT_FALSE(FileExists(folder_ + L"\\Android"));
    // Other scenarios of the wave register their own installs; never this one.
    EXPECT_NE(registered_, folder_);
  }

 private:
  std::wstring setup_, folder_, registered_;
};
TF_X86_SCENARIO(AndroidWithoutTemplate, "AFailedAndroidBuildEndsTheInstallBeforeItsRegistration");

}  // namespace
}  // namespace tf::test::x86
