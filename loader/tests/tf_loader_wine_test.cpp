// The built loader under Wine. Each Wine process start is slow, so all the
// folders are laid out first and their loaders run side by side once; the
// cases below then read the captured output and exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "win_test_support.h"

namespace {

using tf::test::TempDir;

const char kFixedXbe[] = "D:\\Projects\\Tarnfell (U)\\extracted\\default.xbe";
const wchar_t* const kSupportLibraries[] = {L"msvcp140.dll",     L"msvcp140_1.dll",           L"msvcp140_2.dll",
                                            L"msvcp140_atomic_wait.dll", L"vcruntime140.dll",
                                            L"vcruntime140_threads.dll", L"concrt140.dll"};

std::wstring StandIn(const std::wstring& name) { return tf::test::FromUnixPath(TF_STANDIN_DIR) + L"\\" + name; }

struct Scenario {
  std::unique_ptr<TempDir> dir;
  std::wstring arguments;
  tf::test::ProcessResult result;
  std::vector<std::string> lines;

  std::string Folder() const { return tf::test::Ansi(dir->Path()) + "\\"; }
  bool Has(const std::string& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  bool HasPrefix(const std::string& prefix) const {
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }
  std::string Output() const { return "output:\n" + result.output; }
};

enum Name { kInstall, kProbe, kNoXbe, kNoLibrary, kNoExport };

class LoaderRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(tf::test::FileExists(tf::test::DistFile(L"tf_loader.exe")));
    auto make = [](Name name, std::wstring arguments) {
      Scenario& s = scenarios_[name];
      s.dir = std::make_unique<TempDir>();
      s.arguments = std::move(arguments);
      CopyFileW(tf::test::DistFile(L"tf_loader.exe").c_str(), (*s.dir / L"Tarnfell.exe").c_str(), FALSE);
      return s.dir->Path();
    };
    const char xbe[] = "XBEH\x01\x02\x03\x04 stand-in game executable";

    // Laid out like an install: loader, runtime stand-in, support libraries, default.xbe.
    std::wstring install = make(kInstall, L"");
    CopyFileW(StandIn(L"tf_hybrid.dll").c_str(), (install + L"\\tf_hybrid.dll").c_str(), FALSE);
    for (const wchar_t* lib : kSupportLibraries)
      CopyFileW(StandIn(lib).c_str(), (install + L"\\" + lib).c_str(), FALSE);
    tf::test::WriteFileBytes(install + L"\\default.xbe", xbe, sizeof(xbe) - 1);

    // The probe echoes its arguments; a quoted first argument and a second one.
    std::wstring probe = make(kProbe, L"\"ret:-7 quoted\" second");
    CopyFileW(tf::test::FromUnixPath(TF_PROBE_DLL).c_str(), (probe + L"\\tf_hybrid.dll").c_str(), FALSE);

    // The runtime stand-in without default.xbe: the loader falls back, the stand-in objects.
    std::wstring noXbe = make(kNoXbe, L"m1");
    CopyFileW(StandIn(L"tf_hybrid.dll").c_str(), (noXbe + L"\\tf_hybrid.dll").c_str(), FALSE);

    make(kNoLibrary, L"");

    // A DLL without RunGame in tf_hybrid.dll's place.
    std::wstring noExport = make(kNoExport, L"");
    CopyFileW(StandIn(L"concrt140.dll").c_str(), (noExport + L"\\tf_hybrid.dll").c_str(), FALSE);

    std::vector<tf::test::ProgramRun> runs;
    std::vector<Scenario*> order;
    for (auto& [name, s] : scenarios_) {
      runs.push_back({*s.dir / L"Tarnfell.exe", s.arguments, s.dir->Path(), true});
      order.push_back(&s);
    }
    std::vector<tf::test::ProcessResult> results = tf::test::RunPrograms(runs, 1200000);
    for (size_t i = 0; i < order.size(); ++i) {
      Scenario* sp = order[i];
      sp->result = results[i];
      std::istringstream in(sp->result.output);
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        sp->lines.push_back(line);
      }
    }
  }
  static void TearDownTestSuite() { scenarios_.clear(); }

  static const Scenario& Get(Name name) {
    const Scenario& s = scenarios_.at(name);
    EXPECT_TRUE(s.result.started);
    EXPECT_FALSE(s.result.timedOut);
    return s;
  }
  static std::map<Name, Scenario> scenarios_;
};
std::map<Name, Scenario> LoaderRun::scenarios_;

TEST_F(LoaderRun, ReportsItsLayoutAndPathsWithTheDefaultMode) {
  const Scenario& s = Get(kInstall);
  ASSERT_GE(s.lines.size(), 4u) << s.Output();
  EXPECT_EQ(s.lines[0], "[ldr] module=00010000 reserve=00015000..01715000") << s.Output();
  EXPECT_EQ(s.lines[1], "[ldr] xbe=" + s.Folder() + "default.xbe") << s.Output();
  EXPECT_EQ(s.lines[2], "[ldr] dll=" + s.Folder() + "tf_hybrid.dll mode=m4") << s.Output();
  EXPECT_TRUE(s.lines[3] == "[ldr] low hold 0x04000000..0x10000000 reserved (placeholder)" ||
              s.lines[3] == "[ldr] low hold 0x04000000..0x10000000 reserved")
      << s.Output();
}

TEST_F(LoaderRun, StandInFindsEveryPromiseKeptInAnInstallFolder) {
  const Scenario& s = Get(kInstall);
  bool placeholder = s.Has("[ldr] low hold 0x04000000..0x10000000 reserved (placeholder)");
  EXPECT_TRUE(s.Has("[rt] low hold 0x04000000..0x10000000 reserved")) << s.Output();
  EXPECT_TRUE(s.Has("[rt] .00xbe 0x00015000..0x01715000 present, zero-filled, writable")) << s.Output();
  EXPECT_TRUE(s.Has(placeholder ? "[rt] TF_HOLD_PLACEHOLDER=1" : "[rt] TF_HOLD_PLACEHOLDER=0")) << s.Output();
  EXPECT_TRUE(s.Has("[rt] xbe begins with XBEH: " + s.Folder() + "default.xbe")) << s.Output();
  EXPECT_TRUE(s.Has("[rt] mode=m4")) << s.Output();
  EXPECT_TRUE(s.Has("[rt] contract holds")) << s.Output();
  EXPECT_EQ(s.lines.back(), "[ldr] RunGame returned 0") << s.Output();
  EXPECT_EQ(s.result.exitCode, 0u) << s.Output();
}

TEST_F(LoaderRun, PassesTheFirstArgumentUnchangedAndItsNegativeResultThrough) {
  const Scenario& s = Get(kProbe);
  EXPECT_TRUE(s.Has(std::string("[ldr] xbe=") + kFixedXbe)) << s.Output();
  EXPECT_TRUE(s.Has("[ldr] dll=" + s.Folder() + "tf_hybrid.dll mode=ret:-7 quoted")) << s.Output();
  EXPECT_TRUE(s.Has(std::string("[probe] xbe=") + kFixedXbe)) << s.Output();
  EXPECT_TRUE(s.Has("[probe] mode=ret:-7 quoted")) << s.Output();
  EXPECT_EQ(s.result.output.find("second"), std::string::npos) << s.Output();
  EXPECT_TRUE(s.Has("[probe] hold=1") || s.Has("[probe] hold=0")) << s.Output();
  EXPECT_EQ(s.lines.back(), "[ldr] RunGame returned -7") << s.Output();
  EXPECT_EQ(static_cast<int32_t>(s.result.exitCode), -7) << s.Output();
}

TEST_F(LoaderRun, StandInReportsABrokenPromiseWithItsCode) {
  const Scenario& s = Get(kNoXbe);
  EXPECT_TRUE(s.Has(std::string("[ldr] xbe=") + kFixedXbe)) << s.Output();
  EXPECT_TRUE(s.Has(std::string("[rt] xbe cannot be read: ") + kFixedXbe)) << s.Output();
  EXPECT_TRUE(s.Has("[rt] mode=m1")) << s.Output();
  EXPECT_TRUE(s.Has("[rt] contract broken, code 15")) << s.Output();
  EXPECT_EQ(s.lines.back(), "[ldr] RunGame returned 15") << s.Output();
  EXPECT_EQ(s.result.exitCode, 15u) << s.Output();
}

TEST_F(LoaderRun, MissingLibraryReportsPathAndErrorAndExitsWithOne) {
  const Scenario& s = Get(kNoLibrary);
  ASSERT_FALSE(s.lines.empty()) << s.Output();
  EXPECT_EQ(s.lines.back(), "[ldr] LoadLibrary(" + s.Folder() + "tf_hybrid.dll) failed 126") << s.Output();
  EXPECT_FALSE(s.HasPrefix("[ldr] RunGame")) << s.Output();
  EXPECT_EQ(s.result.exitCode, 1u) << s.Output();
}

TEST_F(LoaderRun, LibraryWithoutRunGameExitsWithOne) {
  const Scenario& s = Get(kNoExport);
  ASSERT_FALSE(s.lines.empty()) << s.Output();
  EXPECT_EQ(s.lines.back(), "[ldr] GetProcAddress(RunGame) failed") << s.Output();
  EXPECT_FALSE(s.HasPrefix("[ldr] RunGame")) << s.Output();
  EXPECT_EQ(s.result.exitCode, 1u) << s.Output();
}

}  // namespace
