// The real 32-bit installer's silent install (wave 1), then the installed
// Tarnfell.exe started from its folder the way its shortcut starts it (wave 2):
// the loader finds the runtime stand-in, which checks every promise the
// loader makes it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "payload_sources.h"
#include "x86_scenarios.h"

namespace {

using tf::test::ProcessResult;
using tf::test::ProgramRun;
using tf::test::x86::Shared;

using tf::test::ReadText;

bool HasLine(const std::string& output, const std::string& line) {
  std::istringstream in(output);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (l == line) return true;
  }
  return false;
}

class SilentInstall : public tf::test::x86::Scenario {
 public:
  const char* Name() const override { return "SilentInstallWritesTheGameAndThePayload"; }
  ProgramRun Prepare(Shared& shared) override {
    std::wstring setupFolder = shared.Folder(L"setup-silent");
    setup_ = setupFolder + L"\\tf_setup.exe";
    folder_ = shared.root / L"Games\\Silent";
    if (!CopyFileW(tf::test::DistFile(L"tf_setup.exe").c_str(), setup_.c_str(), FALSE)) return {};
    return {setup_, L"/silent " + shared.sampleDisc + L" " + folder_, L"", false};
  }
  void AfterWave(Shared& shared) override {
    if (result.exitCode == 0) shared.folders["installed game"] = folder_;
  }
  void Check(const ProcessResult& r) override {
    const std::string log = ReadText(setup_ + L".log");
    EXPECT_EQ(r.exitCode, 0u) << log;
    EXPECT_NE(log.find("[100%] Done.\r\n"), std::string::npos) << log;
    for (const tf::test::PayloadSource& e : tf::test::kPayloadSources)
      EXPECT_TRUE(ReadText(folder_ + L"\\" + e.name) == ReadText(tf::test::FromUnixPath(e.source)))
          << tf::test::Utf8(e.name);
    EXPECT_EQ(ReadText(folder_ + L"\\tarnfell.ini"), tf::test::kDefaultIni);
    EXPECT_TRUE(tf::test::FileExists(folder_ + L"\\default.xbe"));
  }

 private:
  std::wstring setup_, folder_;
};
TF_X86_SCENARIO(SilentInstall);

class InstalledGame : public tf::test::x86::Scenario {
 public:
  const char* Name() const override { return "InstalledGameStartsAndTheRuntimeFindsEveryPromiseKept"; }
  int Wave() const override { return 2; }
  ProgramRun Prepare(Shared& shared) override {
    auto found = shared.folders.find("installed game");
    if (found == shared.folders.end()) return {};
    folder_ = found->second;
    return {folder_ + L"\\Tarnfell.exe", L"", folder_, true};
  }
  void Check(const ProcessResult& r) override {
    const std::string folder = tf::test::Ansi(folder_);
    const std::string& out = r.output;
    EXPECT_TRUE(HasLine(out, "[ldr] module=00010000 reserve=00015000..01715000")) << out;
    EXPECT_TRUE(HasLine(out, "[ldr] xbe=" + folder + "\\default.xbe")) << out;
    EXPECT_TRUE(HasLine(out, "[ldr] dll=" + folder + "\\tf_hybrid.dll mode=m4")) << out;
    const bool placeholder = HasLine(out, "[ldr] low hold 0x04000000..0x10000000 reserved (placeholder)");
    EXPECT_TRUE(placeholder || HasLine(out, "[ldr] low hold 0x04000000..0x10000000 reserved")) << out;
    EXPECT_TRUE(HasLine(out, "[rt] low hold 0x04000000..0x10000000 reserved")) << out;
    EXPECT_TRUE(HasLine(out, "[rt] .00xbe 0x00015000..0x01715000 present, zero-filled, writable")) << out;
    EXPECT_TRUE(HasLine(out, placeholder ? "[rt] TF_HOLD_PLACEHOLDER=1" : "[rt] TF_HOLD_PLACEHOLDER=0")) << out;
    EXPECT_TRUE(HasLine(out, "[rt] xbe begins with XBEH: " + folder + "\\default.xbe")) << out;
    EXPECT_TRUE(HasLine(out, "[rt] mode=m4")) << out;
    EXPECT_TRUE(HasLine(out, "[rt] contract holds")) << out;
    EXPECT_TRUE(HasLine(out, "[ldr] RunGame returned 0")) << out;
    EXPECT_EQ(r.exitCode, 0u) << out;
  }

 private:
  std::wstring folder_;
};
TF_X86_SCENARIO(InstalledGame);

}  // namespace
