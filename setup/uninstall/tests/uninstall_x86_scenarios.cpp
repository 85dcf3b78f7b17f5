// The uninstall.exe that the real 32-bit installer's silent install with
// "/android" (wave 1, the Android scenario) left in its folder, run with
// "/uninstall /quiet" (wave 2): the game's files and the Android folder go at
// once, the uninstaller's own file and the emptied folder a moment after it
// has ended.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "uninstall_entry.h"
#include "win_gui.h"
#include "x86_scenarios.h"

namespace tf::test::x86 {
namespace {

// The clean-up's command processor and its ping are emulated programs too:
// about a minute each here when the machine is busy.
constexpr DWORD kFolderGoneWaitMs = 6 * 60 * 1000;

class QuietUninstall : public Scenario {
 public:
  ProgramRun Prepare(Shared& shared) override {
    auto found = shared.folders.find("android install");
    if (found == shared.folders.end()) return {};
    folder_ = found->second;
    const std::wstring uninstaller = folder_ + L"\\uninstall.exe";  // the install's own copy of itself
    if (!FileExists(uninstaller)) return {};
    return {uninstaller, L"/uninstall /quiet", L"", false};
  }
  void Check(const ProcessResult& r) override {
    EXPECT_EQ(r.exitCode, 0u);
    std::map<std::wstring, RegistryValue> entry;
    EXPECT_FALSE(ReadUninstallEntry(KEY_WOW64_32KEY, entry));  // the 32-bit view, where it registered
    EXPECT_FALSE(FileExists(folder_ + L"\\default.xbe"));
    EXPECT_FALSE(FileExists(folder_ + L"\\tf_hybrid.dll"));
    if (!WaitUntil([&] { return !FileExists(folder_); }, kFolderGoneWaitMs, 1000)) {
      std::string left;
      for (const std::wstring& name : FolderNames(folder_)) left += " \"" + Utf8(name) + "\"";
      ADD_FAILURE() << "still there: " << Utf8(folder_) << ", holding:" << (left.empty() ? " nothing" : left);
    }
  }

 private:
  std::wstring folder_;
};
TF_X86_SCENARIO(QuietUninstall, "QuietUninstallRemovesTheInstallFolder", 2);

}  // namespace
}  // namespace tf::test::x86
