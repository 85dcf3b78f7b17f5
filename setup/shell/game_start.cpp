#include "shell/game_start.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "common/com_ref.h"
#include "common/game_edition.h"

namespace tf {

namespace {

// A VARIANT that holds a string or a number, cleared on every exit path.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  explicit Variant(const std::wstring& text) : Variant() {
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  explicit Variant(int number) : Variant() {
    v_.vt = VT_I4;
    v_.lVal = number;
  }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  bool Valid() const { return v_.vt != VT_BSTR || v_.bstrVal != nullptr; }
  VARIANT& Get() { return v_; }

 private:
  VARIANT v_;
};

// The desktop's shell object: the shell windows' desktop, its top-level
// browser, the view of the desktop folder and that view's application.
bool DesktopShell(ComRef<IShellDispatch2>& shell) {
  ComRef<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows, windows.PutVoid())))
    return false;
  Variant location, root;
  long window = 0;
  ComRef<IDispatch> desktop;
  if (windows->FindWindowSW(&location.Get(), &root.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Put()) !=
          S_OK ||
      !desktop)
    return false;
  ComRef<IServiceProvider> services;
  ComRef<IShellBrowser> browser;
  ComRef<IShellView> view;
  ComRef<IDispatch> background, application;
  ComRef<IShellFolderViewDual> folderView;
  return SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, services.PutVoid())) &&
         SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.PutVoid())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.Put())) && view &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid())) && background &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folderView.PutVoid())) &&
         SUCCEEDED(folderView->get_Application(application.Put())) && application &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.PutVoid())) && shell;
}

}  // namespace

bool OpenThroughDesktopShell(const std::wstring& program, const std::wstring& folder) {
  ComRef<IShellDispatch2> shell;
  if (!DesktopShell(shell)) return false;
  BSTR file = SysAllocStringLen(program.data(), static_cast<UINT>(program.size()));
  Variant noArguments, workingFolder(folder), verb(std::wstring(L"open")), show(SW_SHOWNORMAL);
  const bool ok = file != nullptr && workingFolder.Valid() && verb.Valid() &&
                  SUCCEEDED(shell->ShellExecute(file, noArguments.Get(), workingFolder.Get(), verb.Get(), show.Get()));
  SysFreeString(file);
  return ok;
}

void StartInstalledGame(const std::wstring& installFolder) {
  const std::wstring game = installFolder + L"\\" + kGameProgramName;
  if (OpenThroughDesktopShell(game, installFolder)) return;
  ShellExecuteW(nullptr, L"open", game.c_str(), nullptr, installFolder.c_str(), SW_SHOWNORMAL);
}

}  // namespace tf
