#include "shell/ShellFolders.h"

#include "shell/Registry.h"
#include "win/WideText.h"

namespace {

const char16_t kExplorerKey[] = u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
const char16_t kShellFolders[] = u"Shell Folders";

}  // namespace

std::u16string GetShellFolder(FolderKind Kind) {
  static const char16_t* const kValues[5] = {u"Desktop", u"AppData", u"SendTo", u"Start Menu",
                                             u"Startup"};
  std::u16string result;
  RegKey explorer;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, W(std::u16string(kExplorerKey)), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, explorer.Out(),
                      nullptr) != ERROR_SUCCESS) {
    return result;
  }
  if (Kind > kStartup)
    return result;
  result = RegReadText(explorer.get(), kShellFolders, kValues[Kind]);
  if (Kind == kQuickLaunch)
    result += kQuickLaunchBelowAppData;
  return result;
}

std::u16string ShellFolderValue(HKEY RootKey, const std::u16string& Name) {
  return RegReadText(RootKey, std::u16string(kExplorerKey) + u"\\" + kShellFolders, Name);
}
