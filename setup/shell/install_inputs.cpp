#include "shell/install_inputs.h"

#include "common/game_edition.h"

namespace tf {

InputVerdict CheckInstallInputs(std::wstring_view discPath, std::wstring_view installFolder,
                                const std::function<bool(const std::wstring&)>& exists) {
  if (discPath.empty() || discPath.size() > kMaxFieldChars || !exists(std::wstring(discPath)))
    return InputVerdict::ChooseDisc;
  if (installFolder.size() < 3 || installFolder.size() > kMaxFieldChars || installFolder[1] != L':' ||
      (installFolder[2] != L'\\' && installFolder[2] != L'/'))
    return InputVerdict::ChooseFolder;
  return InputVerdict::Start;
}

std::wstring DefaultInstallFolder(std::wstring_view programFilesX86, std::wstring_view programFiles) {
  std::wstring base(programFilesX86.empty() ? programFiles : programFilesX86);
  return base + L"\\" + kGameFolderName;
}

}  // namespace tf
