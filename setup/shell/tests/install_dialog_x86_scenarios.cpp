// The real 32-bit installer started without switches: its dialog driven to an
// install of the sample disc and to "Play now?" (answered No), then the
// uninstall entry read in the registry view that Windows lists for a 32-bit
// program (WOW6432Node), which this 64-bit driver reads with KEY_WOW64_32KEY.
// The installed game is started from this folder in wave 2.
#include <gtest/gtest.h>

#include "resources/install_dialog_ids.h"
#include "uninstall_entry.h"
#include "win_gui.h"
#include "x86_scenarios.h"

namespace tf::test::x86 {
namespace {

constexpr DWORD kDialogTimeoutMs = 20 * 60 * 1000;  // an emulated 32-bit start takes minutes
constexpr DWORD kInstallTimeoutMs = 25 * 60 * 1000;
const wchar_t kPlayNow[] =
    L"Tarnfell is installed.\n\nSaved games and settings are kept in your user profile, so they survive an "
    L"uninstall.\n\nPlay now?";

DWORD Number(const RegistryValue& v) {
  DWORD n = 0;
  if (v.type == REG_DWORD && v.data.size() == 4) memcpy(&n, v.data.data(), 4);
  return n;
}

class InteractiveInstall : public Scenario {
 public:
  ProgramRun Prepare(Shared& shared) override {
    root_ = shared.root.Path();
    setup_ = shared.SetupCopy(L"setup-dialog");
    folder_ = shared.root / L"Games\\Dialog";
    disc_ = shared.sampleDisc;
    if (setup_.empty()) return {};
    links_ = ShortcutLocations();
    return {setup_, L"", L"", false};
  }
  void WhileRunning(DWORD pid) override {
    HWND dialog = WaitForTopWindow(pid, L"#32770", L"Install Tarnfell", kDialogTimeoutMs);
    if (!dialog) return;
    defaultFolder_ = ControlText(dialog, IDC_FOLDER_PATH);
    SetControlText(dialog, IDC_DISC_PATH, disc_);
    SetControlText(dialog, IDC_FOLDER_PATH, folder_);
    SetChecked(dialog, IDC_DESKTOP_SHORTCUT, false);  // the Start menu's link only
    PressButton(dialog, IDC_INSTALL);
    SeenMessageBox box = WaitForMessageBox(pid, L"Tarnfell", kInstallTimeoutMs);
    if (!box.box) return;
    boxText_ = box.text;
    status_ = ControlText(dialog, IDC_STATUS);
    if (boxText_ == kPlayNow) {
      AnswerMessageBox(box.box, IDNO);
    } else {  // a failure: close the dialog so the wave goes on
      AnswerMessageBox(box.box, IDOK);
      SendCommand(dialog, IDCANCEL);
    }
  }
  void AfterWave(Shared& shared) override {
    if (boxText_ == kPlayNow) shared.folders["installed game"] = folder_;  // started in wave 2
    listed32_ = ReadUninstallEntry(KEY_WOW64_32KEY, entry32_);
    // Seen now: wave 2 uninstalls one of this wave's installs.
    registeredUninstaller_ =
        FileExists(RegistryText(entry32_[L"InstallLocation"]) + L"\\uninstall.exe");
    std::map<std::wstring, RegistryValue> entry64;
    listed64_ = ReadUninstallEntry(KEY_WOW64_64KEY, entry64);
    startMenuLink_ = FileExists(links_.commonPrograms);
    desktopLink_ = FileExists(links_.desktop);
    DeleteFileW(links_.commonPrograms.c_str());
  }
  void Check(const ProcessResult& r) override {
    EXPECT_EQ(defaultFolder_, L"C:\\Program Files (x86)\\Tarnfell");
    EXPECT_EQ(boxText_, kPlayNow);
    EXPECT_EQ(status_, L"Installed.");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_TRUE(FileExists(folder_ + L"\\uninstall.exe"));
    EXPECT_TRUE(FileExists(folder_ + L"\\Tarnfell.exe"));
    EXPECT_TRUE(startMenuLink_);
    EXPECT_FALSE(desktopLink_);

    // Installs of this wave (this one, a silent one) all write the same entry:
    // whichever wrote last, it names a folder of this run that holds its uninstaller.
    ASSERT_TRUE(listed32_) << "no entry in the 32-bit view";
    EXPECT_FALSE(listed64_) << "a 32-bit install wrote the 64-bit view";
    const std::wstring location = RegistryText(entry32_[L"InstallLocation"]);
    const std::wstring uninstaller = location + L"\\uninstall.exe";
    EXPECT_EQ(location.rfind(root_ + L"\\", 0), 0u) << Utf8(location);
    EXPECT_TRUE(registeredUninstaller_) << Utf8(uninstaller);
    EXPECT_EQ(RegistryText(entry32_[L"DisplayName"]), L"Tarnfell");
    EXPECT_EQ(RegistryText(entry32_[L"DisplayVersion"]), L"1.0.0");
    EXPECT_EQ(RegistryText(entry32_[L"Publisher"]), L"Native PC port");
    EXPECT_EQ(RegistryText(entry32_[L"DisplayIcon"]), uninstaller);
    EXPECT_EQ(RegistryText(entry32_[L"UninstallString"]), L"\"" + uninstaller + L"\" /uninstall");
    EXPECT_EQ(RegistryText(entry32_[L"QuietUninstallString"]),
              L"\"" + uninstaller + L"\" /uninstall /quiet");
    EXPECT_EQ(Number(entry32_[L"NoModify"]), 1u);
    EXPECT_EQ(Number(entry32_[L"NoRepair"]), 1u);
    EXPECT_GT(Number(entry32_[L"EstimatedSize"]), 1024u);  // the sample game is a few MiB
  }

 private:
  std::wstring root_, setup_, folder_, disc_, defaultFolder_, boxText_, status_;
  ShortcutPaths links_;
  std::map<std::wstring, RegistryValue> entry32_;
  bool listed32_ = false, listed64_ = false, startMenuLink_ = false, desktopLink_ = false;
  bool registeredUninstaller_ = false;
};
TF_X86_SCENARIO(InteractiveInstall, "InteractiveInstallEndsWithOneAndIsListedInThe32BitView");

}  // namespace
}  // namespace tf::test::x86
