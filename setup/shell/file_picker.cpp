#include "shell/file_picker.h"

#include <objbase.h>
#include <shobjidl.h>

#include "common/com_ref.h"

namespace tf {

namespace {

bool CreateFileOpenDialog(ComRef<IFileOpenDialog>& dialog) {
  return SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                    dialog.PutVoid()));
}

bool ShowAndTakePath(IFileOpenDialog* dialog, HWND owner, std::wstring& path) {
  if (FAILED(dialog->Show(owner))) return false;
  ComRef<IShellItem> item;
  if (FAILED(dialog->GetResult(item.Put()))) return false;
  PWSTR picked = nullptr;
  const bool ok = SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &picked)) && picked != nullptr;
  if (ok) path = picked;
  CoTaskMemFree(picked);
  return ok;
}

}  // namespace

bool PickDiscImage(HWND owner, std::wstring& path) {
  ComRef<IFileOpenDialog> dialog;
  if (!CreateFileOpenDialog(dialog)) return false;
  const COMDLG_FILTERSPEC types[] = {{L"Xbox disc image (*.iso)", L"*.iso"}, {L"All files", L"*.*"}};
  dialog->SetFileTypes(2, types);
  dialog->SetTitle(L"Choose your Tarnfell disc image");
  return ShowAndTakePath(dialog.Get(), owner, path);
}

bool PickFolder(HWND owner, std::wstring& path) {
  ComRef<IFileOpenDialog> dialog;
  if (!CreateFileOpenDialog(dialog)) return false;
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_PATHMUSTEXIST);
  dialog->SetTitle(L"Choose where to install the game");
  return ShowAndTakePath(dialog.Get(), owner, path);
}

}  // namespace tf
