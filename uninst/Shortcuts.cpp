#include "uninst/Shortcuts.h"

#include "common/Path.h"
#include "shell/Errors.h"
#include "shell/ShellFolders.h"
#include "shell/Shortcut.h"
#include "uninst/Installation.h"
#include "uninst/RemoveFiles.h"
#include "uninst/UninstallRules.h"

std::vector<std::u16string> OwnShortcuts(const std::u16string& name,
                                         const std::u16string& destDir) {
  std::vector<std::u16string> folders;
  try {
    folders.push_back(GetShellFolder(kDesktop));
    const std::u16string quick = GetShellFolder(kQuickLaunch);
    if (!quick.empty() && quick[0] != u'\\')  // no AppData folder: no Quick Launch
      folders.push_back(quick);
    folders.push_back(ShellFolderValue(HKEY_LOCAL_MACHINE, u"Common Desktop"));
  } catch (const RegistryError&) {
  }
  std::vector<std::u16string> links;
  for (const std::u16string& folder : folders) {
    if (folder.empty())
      continue;
    const std::u16string link = folder + u"\\" + name + u".lnk";
    if (!LiesIn(ShortcutTarget(link), destDir))
      continue;
    bool seen = false;
    for (const auto& l : links)
      seen |= SameFile(l, link);
    if (!seen)
      links.push_back(link);
  }
  return links;
}

bool DeleteOwnShortcut(const std::u16string& linkFile, const std::u16string& destDir) {
  return WithHeldShortcut(linkFile, true, [&](HeldEntry& held) {
    return LiesIn(ShortcutTargetOf(ReadShortcut(held)), destDir) && held.Delete();
  });
}
