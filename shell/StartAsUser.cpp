// Starting a program as the signed-in user: this program runs elevated, and
// what it starts from its own process would be elevated too. The desktop's
// shell runs with the user's own rights; asked to start the program, it
// starts it as the user (its IShellDispatch2, reached through the desktop
// window's view).
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "shell/Global.h"

namespace {

// A COM interface released when it goes.
template <class T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_ != nullptr)
      p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

// A VARIANT cleared when it goes.
struct Variant {
  Variant() { VariantInit(&v); }
  explicit Variant(const std::u16string& text) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                  static_cast<UINT>(text.size()));
  }
  explicit Variant(int number) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = number;
  }
  ~Variant() { VariantClear(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT v;
};

// The desktop shell's dispatch object; false when no desktop shell runs.
bool DesktopShell(Com<IShellDispatch2>& shell) {
  Com<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                              windows.OutVoid()))) {
    return false;
  }
  Variant location(CSIDL_DESKTOP), root;
  long window = 0;
  Com<IDispatch> found;
  if (windows->FindWindowSW(&location.v, &root.v, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                            found.Out()) != S_OK ||
      found.get() == nullptr) {
    return false;
  }
  Com<IServiceProvider> services;
  Com<IShellBrowser> browser;
  Com<IShellView> view;
  Com<IDispatch> background;
  Com<IShellFolderViewDual> folderView;
  Com<IDispatch> application;
  return SUCCEEDED(found->QueryInterface(IID_IServiceProvider, services.OutVoid())) &&
         SUCCEEDED(
             services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.OutVoid())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.Out())) &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.OutVoid())) &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folderView.OutVoid())) &&
         SUCCEEDED(folderView->get_Application(application.Out())) &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.OutVoid()));
}

}  // namespace

TStarted StartAsUser(const std::u16string& FileName, const std::u16string& WorkingFolder) {
  Com<IShellDispatch2> shell;
  if (DesktopShell(shell)) {
    BSTR file = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(FileName.data()),
                                  static_cast<UINT>(FileName.size()));
    Variant parameters(u""), folder(WorkingFolder), verb(u""), show(SW_SHOWNORMAL);
    const HRESULT started = shell->ShellExecute(file, parameters.v, folder.v, verb.v, show.v);
    SysFreeString(file);
    if (SUCCEEDED(started))
      return TStarted::kByUserShell;
  }
  const HANDLE process = RunProgram(FileName, u"", WorkingFolder);
  if (process == nullptr)
    return TStarted::kNot;
  CloseHandle(process);
  return TStarted::kDirectly;
}
