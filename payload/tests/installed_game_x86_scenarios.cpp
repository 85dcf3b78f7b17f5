// The installed Tarnfell.exe, started from the folder of the real 32-bit
// installer's interactive install (wave 1, the dialog's scenario) the way its
// shortcut starts it (wave 2): the payload is there byte for byte, and the
// loader finds the runtime stand-in, which checks every promise the loader
// makes it.
#include <gtest/gtest.h>

#include <string>

#include "payload_sources.h"
#include "x86_scenarios.h"

namespace tf::test::x86 {
namespace {

class InstalledGame : public Scenario {
 public:
  ProgramRun Prepare(Shared& shared) override {
    auto found = shared.folders.find("installed game");
    if (found == shared.folders.end()) return {};
    folder_ = found->second;
    for (const PayloadSource& e : kPayloadSources)
      if (ReadText(folder_ + L"\\" + e.name) != ReadText(FromUnixPath(e.source))) differing_ += e.name + std::wstring(L" ");
    ini_ = ReadText(folder_ + L"\\tarnfell.ini");
    return {folder_ + L"\\Tarnfell.exe", L"", folder_, true};
  }
  void Check(const ProcessResult& r) override {
    EXPECT_EQ(differing_, L"") << "payload files that differ from what the build carries";
    EXPECT_EQ(ini_, kDefaultIni);
    const std::string folder = Ansi(folder_);
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
  std::wstring folder_, differing_;
  std::string ini_;
};
TF_X86_SCENARIO(InstalledGame, "InstalledGameStartsAndTheRuntimeFindsEveryPromiseKept", 2);

}  // namespace
}  // namespace tf::test::x86
