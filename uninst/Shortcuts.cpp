#include "uninst/Shortcuts.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/Errors.h"
#include "common/Path.h"
#include "fs/File.h"
#include "shell/NvSysUtils.h"
#include "shell/Win32Util.h"
#include "uninst/Installation.h"
#include "uninst/RemoveFiles.h"
#include "uninst/UninstallRules.h"

using Microsoft::WRL::ComPtr;

namespace {

const char16_t kShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The target a shortcut's bytes name; empty when they name none.
std::u16string ShortcutTargetOf(const std::string& bytes) {
  if (bytes.empty())
    return {};
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) ||
      FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr))) {
    return {};
  }
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistStream> persist;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.GetAddressOf()))) ||
      FAILED(link.As(&persist)) || FAILED(persist->Load(stream.Get()))) {
    return {};
  }
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
    return {};
  return UpToNul(buffer, MAX_PATH);
}

// Calls use with the shortcut file held in its folder, which is reached
// with no link on the way (a user's own folder). For deleting, others are
// denied writing and deleting it (unless it is read-only and so cannot be
// held for writing) from the reading to the deletion: what was read is what
// goes. False when it is not a plain file (no link, no folder) or cannot be
// held.
template <typename Use>
bool WithHeldShortcut(const std::u16string& linkFile, bool deleting, Use use) {
  try {
    FolderTree tree(ExtractFileDir(linkFile), FolderTree::RootLink::kRefuseOnTheWay, false);
    if (!tree.Opened())
      return false;
    const std::u16string name = ExtractFileName(linkFile);
    const HeldFolder::Entry entry = tree.Root().Look(name);
    if (!entry.exists || entry.folder || entry.link)
      return false;
    HeldEntry held(
        tree.Root(), name,
        deleting && !entry.readOnly ? HeldEntry::Hold::kReplace : HeldEntry::Hold::kShared);
    return use(held);
  } catch (const FileError&) {
    return false;
  }
}

const size_t kShortcutMax = 1 << 20;

}  // namespace

std::u16string ShortcutTarget(const std::u16string& linkFile) {
  std::u16string target;
  WithHeldShortcut(linkFile, false, [&](HeldEntry& held) {
    target = ShortcutTargetOf(held.Read(kShortcutMax));
    return true;
  });
  return target;
}

std::vector<std::u16string> OwnShortcuts(const std::u16string& name,
                                         const std::u16string& destDir) {
  std::vector<std::u16string> folders;
  try {
    folders.push_back(GetShellFolder(0));
    const std::u16string quick = GetShellFolder(1);
    if (!quick.empty() && quick[0] != u'\\')  // no AppData folder: no Quick Launch
      folders.push_back(quick);
    folders.push_back(RegReadText(HKEY_LOCAL_MACHINE, kShellFolders, u"Common Desktop"));
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
    return LiesIn(ShortcutTargetOf(held.Read(kShortcutMax)), destDir) && held.Delete();
  });
}
