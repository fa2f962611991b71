#include "uninst/Shortcuts.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/Errors.h"
#include "shell/NvSysUtils.h"
#include "shell/Win32Util.h"
#include "uninst/Installation.h"
#include "uninst/ReadFile.h"
#include "uninst/RemoveFiles.h"
#include "uninst/UninstallRules.h"
#include "win/Api.h"
#include "win/FolderTree.h"

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

// Whether the shortcut file is a link by the one rule (win/FolderTree.h),
// looked at in its folder; a folder that cannot be opened counts.
bool ShortcutIsLink(const std::u16string& linkFile) {
  const win::Handle folder = win::OpenFolderByPath(ExtractFileDir(linkFile));
  return !folder || win::LookAt(folder.get(), ExtractFileName(linkFile)).link;
}

}  // namespace

std::u16string ShortcutTarget(const std::u16string& linkFile) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.GetAddressOf())))) {
    return {};
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file)) || FAILED(file->Load(W(linkFile), STGM_READ)))
    return {};
  // No Resolve: the target may be gone already, and looking for it could
  // show the shell's search window.
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
    return {};
  return UpToNul(buffer, MAX_PATH);
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
    if (GetFileAttributesW(W(link)) == INVALID_FILE_ATTRIBUTES ||
        !LiesIn(ShortcutTarget(link), destDir)) {
      continue;
    }
    bool seen = false;
    for (const auto& l : links)
      seen |= SameFile(l, link);
    if (!seen)
      links.push_back(link);
  }
  return links;
}

bool DeleteOwnShortcut(const std::u16string& linkFile, const std::u16string& destDir) {
  if (ShortcutIsLink(linkFile))
    return false;
  // Held open, denying others write and delete access, from the reading to
  // the deletion: what was read is what goes.
  const HANDLE h =
      CreateFileW(W(linkFile), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool deleted = false;
  if (GetFileInformationByHandle(h, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      !ShortcutIsLink(linkFile) && LiesIn(ShortcutTargetOf(ReadWhole(h, 1 << 20)), destDir)) {
    // A read-only one too, through the same handle.
    deleted = win::DeleteThrough(h);
  }
  CloseHandle(h);
  return deleted;
}
