#include "shell/command_line.h"

#include "common/ascii.h"
#include "common/game_edition.h"
#include "common/paths.h"

namespace tf {

SetupMode SelectMode(std::wstring_view programPath, std::wstring_view commandTail) {
  bool uninstall = LowerAsciiCopy(FileNameOf(programPath)) == LowerAsciiCopy(kUninstallerName) || HasSwitch(commandTail, L"/uninstall");
  if (HasSwitch(commandTail, L"/silent")) return SetupMode::Silent;
  return uninstall ? SetupMode::Uninstall : SetupMode::Interactive;
}

SilentArguments FindSilentArguments(const std::vector<std::wstring>& args) {
  SilentArguments out;
  if (args.size() <= 2) return out;
  for (size_t i = 1; i + 2 <= args.size(); ++i) {
    if (LowerAsciiCopy(args[i]) != L"/silent") continue;
    if (i + 2 < args.size()) {
      out.discImagePath = args[i + 1];
      out.installFolder = args[i + 2];
    }
    break;
  }
  return out;
}

}  // namespace tf
