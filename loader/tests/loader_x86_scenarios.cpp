// The built 32-bit loader in folders laid out for one case each: arguments
// and a negative result through a probe library, a missing default.xbe, a
// missing runtime library and one without RunGame. (The loader in a real
// install folder, with the runtime stand-in, is the installed game's scenario.)
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "x86_scenarios.h"

namespace {

using tf::test::ProcessResult;
using tf::test::ProgramRun;
using tf::test::x86::Shared;

const char kFixedXbe[] = "D:\\Projects\\Tarnfell (U)\\extracted\\default.xbe";

std::wstring StandIn(const std::wstring& name) { return tf::test::FromUnixPath(TF_STANDIN_DIR) + L"\\" + name; }

std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}
bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

// A folder with the loader as Tarnfell.exe and what `layout` puts beside it.
class LoaderCase : public tf::test::x86::Scenario {
 protected:
  virtual void Layout(const std::wstring& folder) = 0;
  virtual std::wstring Arguments() const { return L""; }

  ProgramRun Prepare(Shared& shared) override {
    folder_ = shared.Folder(tf::test::Utf16(Name()));
    if (!CopyFileW(tf::test::DistFile(L"tf_loader.exe").c_str(), (folder_ + L"\\Tarnfell.exe").c_str(), FALSE))
      return {};
    Layout(folder_);
    return {folder_ + L"\\Tarnfell.exe", Arguments(), folder_, true};
  }
  std::string Folder() const { return tf::test::Ansi(folder_) + "\\"; }
  std::string Output(const ProcessResult& r) const { return "output:\n" + r.output; }

  std::wstring folder_;
};

class LoaderPassesArguments : public LoaderCase {
  const char* Name() const override { return "LoaderPassesTheFirstArgumentAndANegativeResult"; }
  void Layout(const std::wstring& folder) override {
    CopyFileW(tf::test::FromUnixPath(TF_PROBE_DLL).c_str(), (folder + L"\\tf_hybrid.dll").c_str(), FALSE);
  }
  std::wstring Arguments() const override { return L"\"ret:-7 quoted\" second"; }
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = Lines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_EQ(lines[0], "[ldr] module=00010000 reserve=00015000..01715000") << Output(r);
    EXPECT_TRUE(Has(lines, std::string("[ldr] xbe=") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(Has(lines, "[ldr] dll=" + Folder() + "tf_hybrid.dll mode=ret:-7 quoted")) << Output(r);
    EXPECT_TRUE(Has(lines, std::string("[probe] xbe=") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(Has(lines, "[probe] mode=ret:-7 quoted")) << Output(r);
    EXPECT_EQ(r.output.find("second"), std::string::npos) << Output(r);
    EXPECT_TRUE(Has(lines, "[probe] hold=1") || Has(lines, "[probe] hold=0")) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] RunGame returned -7") << Output(r);
    EXPECT_EQ(static_cast<int32_t>(r.exitCode), -7) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderPassesArguments);

class LoaderWithoutXbe : public LoaderCase {
  const char* Name() const override { return "LoaderWithoutXbeFallsBackAndTheRuntimeObjects"; }
  void Layout(const std::wstring& folder) override {
    CopyFileW(StandIn(L"tf_hybrid.dll").c_str(), (folder + L"\\tf_hybrid.dll").c_str(), FALSE);
  }
  std::wstring Arguments() const override { return L"m1"; }
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = Lines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_TRUE(Has(lines, std::string("[ldr] xbe=") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(Has(lines, std::string("[rt] xbe cannot be read: ") + kFixedXbe)) << Output(r);
    EXPECT_TRUE(Has(lines, "[rt] mode=m1")) << Output(r);
    EXPECT_TRUE(Has(lines, "[rt] contract broken, code 15")) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] RunGame returned 15") << Output(r);
    EXPECT_EQ(r.exitCode, 15u) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderWithoutXbe);

class LoaderWithoutLibrary : public LoaderCase {
  const char* Name() const override { return "LoaderWithoutTheLibraryReportsPathAndError"; }
  void Layout(const std::wstring&) override {}
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = Lines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] LoadLibrary(" + Folder() + "tf_hybrid.dll) failed 126") << Output(r);
    EXPECT_FALSE(HasPrefix(lines, "[ldr] RunGame")) << Output(r);
    EXPECT_EQ(r.exitCode, 1u) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderWithoutLibrary);

class LoaderWithoutRunGame : public LoaderCase {
  const char* Name() const override { return "LoaderWithALibraryWithoutRunGameExitsWithOne"; }
  void Layout(const std::wstring& folder) override {
    CopyFileW(StandIn(L"concrt140.dll").c_str(), (folder + L"\\tf_hybrid.dll").c_str(), FALSE);
  }
  void Check(const ProcessResult& r) override {
    std::vector<std::string> lines = Lines(r.output);
    ASSERT_FALSE(lines.empty()) << Output(r);
    EXPECT_EQ(lines.back(), "[ldr] GetProcAddress(RunGame) failed") << Output(r);
    EXPECT_FALSE(HasPrefix(lines, "[ldr] RunGame")) << Output(r);
    EXPECT_EQ(r.exitCode, 1u) << Output(r);
  }
};
TF_X86_SCENARIO(LoaderWithoutRunGame);

}  // namespace
