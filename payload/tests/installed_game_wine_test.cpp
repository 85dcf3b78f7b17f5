// tf_setup.exe /silent writes the runtime payload and tarnfell.ini, and the
// installed Tarnfell.exe starts the runtime stand-in, which finds the loader's
// promises kept. Copies of the installer without resource 110 or 112 (made
// here with the resource-update functions) show the damaged and the optional
// cases. The installs run side by side: each Wine start is slow.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "discgen.h"
#include "payload_sources.h"
#include "win_test_support.h"

namespace {

using tf::test::TempDir;

const char kDamaged[] = "The installer is damaged (a required file is missing from it). Please download it again.";

using tf::test::kDefaultIni;
const auto& kPayload = tf::test::kPayloadSources;

std::string ReadText(const std::wstring& path) {
  std::vector<uint8_t> b;
  if (!tf::test::ReadFileBytes(path, b)) return "<missing>";
  return std::string(b.begin(), b.end());
}
std::string Source(const char* unixPath) { return ReadText(tf::test::FromUnixPath(unixPath)); }

// Copies the installer; without RCDATA `removed` unless it is 0.
bool CopyInstaller(const std::wstring& copy, WORD removed) {
  std::wstring original = tf::test::DistFile(L"tf_setup.exe");
  if (!removed) return CopyFileW(original.c_str(), copy.c_str(), FALSE);
  return tf::test::CopyWithoutResource(original, copy, removed);
}

struct Install {
  WORD removed = 0;
  std::wstring setup, folder;
  tf::test::ProcessResult result;
  std::string Log() const { return ReadText(setup + L".log"); }
};

class InstalledGame : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    tf::discgen::GameOptions options;
    tf::discgen::ImageSpec plan;
    std::string error;
    disc_ = *dir_ / L"Tarnfell.iso";
    ASSERT_TRUE(tf::discgen::GameTree(options, plan, error)) << error;
    ASSERT_TRUE(tf::discgen::WriteImage(plan, std::filesystem::path(disc_), error)) << error;

    const WORD removed[] = {0, 110, 112};
    std::vector<tf::test::ProgramRun> runs;
    for (int i = 0; i < 3; ++i) {
      Install& in = installs_[i];
      in.removed = removed[i];
      std::wstring tag = std::to_wstring(i);
      in.setup = *dir_ / (L"setup" + tag + L"\\tf_setup.exe");
      in.folder = *dir_ / (L"game" + tag);
      CreateDirectoryW((*dir_ / (L"setup" + tag)).c_str(), nullptr);
      ASSERT_TRUE(CopyInstaller(in.setup, in.removed)) << in.removed;
      runs.push_back({in.setup, L"/silent " + disc_ + L" " + in.folder, L"", false});
    }
    std::vector<tf::test::ProcessResult> results = tf::test::RunPrograms(runs, 1500000);
    for (int i = 0; i < 3; ++i) installs_[i].result = results[i];

    // The installed game, started the way its shortcut starts it.
    const Install& full = installs_[0];
    game_ = tf::test::RunProgram(full.folder + L"\\Tarnfell.exe", L"", 600000, true, full.folder);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
  static std::wstring disc_;
  static Install installs_[3];
  static tf::test::ProcessResult game_;
};
TempDir* InstalledGame::dir_ = nullptr;
std::wstring InstalledGame::disc_;
Install InstalledGame::installs_[3];
tf::test::ProcessResult InstalledGame::game_;

TEST_F(InstalledGame, SilentInstallWritesThePayloadAndTheSettingsFile) {
  const Install& in = installs_[0];
  ASSERT_TRUE(in.result.started);
  EXPECT_EQ(in.result.exitCode, 0u) << in.Log();
  for (const tf::test::PayloadSource& e : kPayload)
    EXPECT_TRUE(ReadText(in.folder + L"\\" + e.name) == Source(e.source)) << tf::test::Utf8(e.name);
  EXPECT_EQ(ReadText(in.folder + L"\\tarnfell.ini"), kDefaultIni);
}

TEST_F(InstalledGame, InstalledLoaderStartsTheRuntimeWhoseChecksPass) {
  const Install& in = installs_[0];
  std::string folder = tf::test::Ansi(in.folder);
  ASSERT_TRUE(game_.started);
  const std::string& out = game_.output;
  EXPECT_NE(out.find("[ldr] module=00010000 reserve=00015000..01715000\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[ldr] xbe=" + folder + "\\default.xbe\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[ldr] dll=" + folder + "\\tf_hybrid.dll mode=m4\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[rt] contract holds\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[ldr] RunGame returned 0\n"), std::string::npos) << out;
  EXPECT_EQ(game_.exitCode, 0u) << out;
}

TEST_F(InstalledGame, InstallerWithoutTheReadmeFailsAfterNineFiles) {
  const Install& in = installs_[1];
  ASSERT_TRUE(in.result.started);
  EXPECT_EQ(in.result.exitCode, 1u);
  EXPECT_NE(in.Log().find(std::string("Failed: ") + kDamaged), std::string::npos) << in.Log();
  for (size_t i = 0; i < 9; ++i)
    EXPECT_TRUE(tf::test::FileExists(in.folder + L"\\" + kPayload[i].name)) << tf::test::Utf8(kPayload[i].name);
  EXPECT_FALSE(tf::test::FileExists(in.folder + L"\\README.txt"));
  EXPECT_FALSE(tf::test::FileExists(in.folder + L"\\tarnfell.ini"));
}

TEST_F(InstalledGame, InstallerWithoutTheOptionalFileInstallsWithoutIt) {
  const Install& in = installs_[2];
  ASSERT_TRUE(in.result.started);
  EXPECT_EQ(in.result.exitCode, 0u) << in.Log();
  EXPECT_FALSE(tf::test::FileExists(in.folder + L"\\arabic_font.bin"));
  for (size_t i = 0; i < 10; ++i)
    EXPECT_TRUE(tf::test::FileExists(in.folder + L"\\" + kPayload[i].name)) << tf::test::Utf8(kPayload[i].name);
  EXPECT_EQ(ReadText(in.folder + L"\\tarnfell.ini"), kDefaultIni);
}

}  // namespace
