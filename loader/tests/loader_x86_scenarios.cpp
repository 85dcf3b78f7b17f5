// The built 32-bit loader in folders laid out for one case each: arguments
// and a negative result through a probe library, a missing default.xbe, a
// missing runtime library and one without RunGame. (The loader in a real
// install folder, with the runtime stand-in, is the installed game's scenario.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "x86_scenarios.h"

namespace tf::test::x86 {
namespace {

const char kFixedXbe[] = "D:\\Projects\\Tarnfell (U)\\extracted\\default.xbe";

std::wstring StandIn(const std::wstring& name) { return FromUnixPath(TF_STANDIN_DIR) + L"\\" + name; }

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

// A folder with the loader as Tarnfell.exe and what `layout` puts beside it.
class LoaderCase : public Scenario {
 protected:
  virtual void Layout(const std::wstring& folder) = 0;
  virtual std::wstring Arguments() const { return L""; }

  ProgramRun Prepare(Shared& shared) override {
    folder_ = shared.Folder(Utf16(Name()));
    if (!CopyFileW(DistFile(L"tf_loader.exe").c_str(), (folder_ + L"\\Tarnfell.exe").c_str(), FALSE))
      return {};
    Layout(folder_);
    return {folder_ + L"\\Tarnfell.exe", Arguments(), folder_, true};
  }
  std::string Folder() const { return Ansi(folder_) + "\\"; }
  std::string Output(const ProcessResult& r) const { return "output:\n" + r.output; }

  std::wstring folder_;
};

class LoaderPassesArguments : public LoaderCase {
  void Layout(const std::wstring& folder) override {
    CopyFileW(FromUnixPath(TF_PROBE_DLL).c_str(), (folder + L"\\tf_hybrid.dll").c_str(), FALSE);
  }
  std::wstring Arguments() const override { return L"\"ret:-7 quoted\" second"; }
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = OutputLines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_EQ(lines[0], "[ldr] module=00010000 reserve=00015000..01715000") << Output(r);
    EXPECT_TRUE(HasLine(r.output, std::string("[ldr] xbe=") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(HasLine(r.output, "[ldr] dll=" + Folder() + "tf_hybrid.dll mode=ret:-7 quoted")) << Output(r);
    EXPECT_TRUE(HasLine(r.output, std::string("[probe] xbe=") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(HasLine(r.output, "[probe] mode=ret:-7 quoted")) << Output(r);
    EXPECT_EQ(r.output.find("second"), std::string::npos) << Output(r);
    EXPECT_TRUE(HasLine(r.output, "[probe] hold=1") || HasLine(r.output, "[probe] hold=0")) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] RunGame returned -7") << Output(r);
    EXPECT_EQ(static_cast<int32_t>(r.exitCode), -7) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderPassesArguments, "LoaderPassesTheFirstArgumentAndANegativeResult");

class LoaderWithoutXbe : public LoaderCase {
  void Layout(const std::wstring& folder) override {
    CopyFileW(StandIn(L"tf_hybrid.dll").c_str(), (folder + L"\\tf_hybrid.dll").c_str(), FALSE);
  }
  std::wstring Arguments() const override { return L"m1"; }
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = OutputLines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_TRUE(HasLine(r.output, std::string("[ldr] xbe=") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(HasLine(r.output, std::string("[rt] xbe cannot be read: ") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(HasLine(r.output, "[rt] mode=m1")) << Output(r);
    EXPECT_TRUE(HasLine(r.output, "[rt] contract broken, code 15")) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] RunGame returned 15") << Output(r);
    EXPECT_EQ(r.exitCode, 15u) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderWithoutXbe, "LoaderWithoutXbeFallsBackAndTheRuntimeObjects");

class LoaderWithoutLibrary : public LoaderCase {
  void Layout(const std::wstring&) override {}
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = OutputLines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] LoadLibrary(" + Folder() + "tf_hybrid.dll) failed 126") << Output(r);
    EXPECT_FALSE(HasPrefix(lines, "[ldr] RunGame")) << Output(r);
    EXPECT_EQ(r.exitCode, 1u) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderWithoutLibrary, "LoaderWithoutTheLibraryReportsPathAndError");

class LoaderWithoutRunGame : public LoaderCase {
  void Layout(const std::wstring& folder) override {
    CopyFileW(StandIn(L"concrt140.dll").c_str(), (folder + L"\\tf_hybrid.dll").c_str(), FALSE);
  }
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = OutputLines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] GetProcAddress(RunGame) failed") << Output(r);
    EXPECT_FALSE(HasPrefix(lines, "[ldr] RunGame")) << Output(r);
    EXPECT_EQ(r.exitCode, 1u) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderWithoutRunGame, "LoaderWithALibraryWithoutRunGameExitsWithOne");

}  // namespace
}  // namespace tf::test::x86
