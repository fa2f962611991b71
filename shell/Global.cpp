#include "shell/Global.h"

#include <shellapi.h>
#include <shlobj.h>

#include "win/WideText.h"

namespace {

// An item list from the shell, freed when it goes.
class ItemList {
 public:
  ~ItemList() {
    if (pidl_ != nullptr)
      CoTaskMemFree(pidl_);
  }
  LPITEMIDLIST* Out() { return &pidl_; }
  LPITEMIDLIST get() const { return pidl_; }
  void Reset(LPITEMIDLIST p) {
    if (pidl_ != nullptr)
      CoTaskMemFree(pidl_);
    pidl_ = p;
  }

 private:
  LPITEMIDLIST pidl_ = nullptr;
};

}  // namespace

std::u16string BrowseForFolder(HWND OwnerWindow, const std::u16string& Title) {
  ItemList root;
  SHGetSpecialFolderLocation(OwnerWindow, CSIDL_DRIVES, root.Out());
  wchar_t buffer[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = OwnerWindow;
  info.pidlRoot = root.get();
  info.pszDisplayName = buffer;
  info.lpszTitle = W(Title);
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  ItemList chosen;
  chosen.Reset(SHBrowseForFolderW(&info));
  if (chosen.get() == nullptr)
    return {};
  if (!SHGetPathFromIDListW(chosen.get(), buffer))
    return {};
  return UpToNul(buffer, MAX_PATH);
}

HANDLE RunProgram(const std::u16string& FileName, const std::u16string& Parameters,
                  const std::u16string& WorkingFolder) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // SEE_MASK_FLAG_NO_UI: a program that cannot be started shows no box.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = W(FileName);
  info.lpParameters = W(Parameters);
  info.lpDirectory = WorkingFolder.empty() ? nullptr : W(WorkingFolder);
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info))
    return nullptr;
  return info.hProcess;
}
