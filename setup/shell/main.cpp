// tf_setup's entry: prepares the process, picks the mode and returns its result.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/ascii.h"
#include "common/running_program.h"
#include "common/system_library.h"
#include "shell/command_line.h"
#include "shell/install_dialog.h"
#include "shell/install_session.h"
#include "uninstall/run_uninstall.h"

namespace {

std::vector<std::wstring> SplitCommandLine() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

// The silent install's log, created anew with its byte-order mark; invalid
// when it cannot be created (the install runs all the same).
tf::UniqueFile CreateSilentLog(const std::wstring& path) {
  tf::UniqueFile log(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                  nullptr));
  if (log) {
    static const unsigned char kBom[] = {0xEF, 0xBB, 0xBF};
    DWORD wrote = 0;
    WriteFile(log.Get(), kBom, sizeof(kBom), &wrote, nullptr);
  }
  return log;
}

int RunSilentInstall(const std::wstring& programPath, const std::wstring& tail, bool noPfxExport) {
  tf::SilentArguments silent = tf::FindSilentArguments(SplitCommandLine());
  if (!silent.Complete()) {
    MessageBoxW(nullptr, L"usage: tf_setup.exe /silent <disc.iso> <install folder>", L"Tarnfell", MB_ICONINFORMATION);
    return 2;
  }
  // A silent install makes no shortcuts.
  const tf::InstallChoices choices{silent.discImagePath, silent.installFolder, false, false,
                                   tf::HasSwitch(tail, L"/android"), noPfxExport};
  tf::InstallSession session(CreateSilentLog(programPath + L".log"));
  session.Begin(nullptr, choices);
  session.Report(0, L"[args] <" + tail + L"> android=" + (choices.buildAndroid ? L"yes" : L"no"));
  return session.Run() ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandTail, int) {
  // Before anything loads a DLL by name: common controls, COM, the file
  // dialog and shell links load more of them, and the program's folder may be
  // anyone's to write to.
  tf::NarrowDllSearch();
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SetProcessDPIAware();

  const std::wstring programPath = tf::RunningProgramPath();
  std::wstring tail = commandTail ? commandTail : L"";
  const bool noPfxExport = tf::NoPfxRequested();

  int exitCode = 0;
  switch (tf::SelectMode(programPath, tail)) {
    case tf::SetupMode::Silent:
      exitCode = RunSilentInstall(programPath, tail, noPfxExport);
      break;
    case tf::SetupMode::Uninstall:
      exitCode = tf::RunUninstallMode(programPath, tail, instance);
      break;
    case tf::SetupMode::Interactive: {
      tf::InstallSession session;
      exitCode = tf::RunInstallDialog(session, noPfxExport);
      break;
    }
  }
  CoUninitialize();
  return exitCode;
}
