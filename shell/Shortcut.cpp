#include "shell/Shortcut.h"

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/Path.h"
#include "fs/Errors.h"
#include "shell/Errors.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using Microsoft::WRL::ComPtr;

namespace {

// The shell link object. Named here rather than taken from the system's GUID
// library, which would bring every GUID it knows into the program.
const CLSID kShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// A shortcut file is small; anything larger is no shortcut of ours.
constexpr DWORD kMaxShortcut = 1 << 20;

std::u16string OleErrorText(HRESULT hr) {
  std::u16string text = SystemErrorText(static_cast<DWORD>(hr));
  if (text.empty()) {
    wchar_t buffer[32];
    wsprintfW(buffer, L"OLE error %.8X", static_cast<unsigned>(hr));
    text = U(buffer);
  }
  return text;
}

std::u16string GuidText(const GUID& id) {
  wchar_t buffer[64];
  StringFromGUID2(id, buffer, 64);
  return U(buffer);
}

// The bytes a shortcut file holds for the link object.
std::string SavedBytes(IPersistStream* persist) {
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) ||
      FAILED(persist->Save(stream.Get(), TRUE))) {
    return {};
  }
  LARGE_INTEGER zero{};
  ULARGE_INTEGER size{};
  if (FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &size)) || size.QuadPart > kMaxShortcut ||
      FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) {
    return {};
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  ULONG got = 0;
  if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got)) ||
      got != bytes.size()) {
    return {};
  }
  return bytes;
}

bool LoadBytes(IPersistStream* persist, const std::string& bytes) {
  ComPtr<IStream> stream;
  if (bytes.empty() || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) ||
      FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr))) {
    return false;
  }
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  return SUCCEEDED(persist->Load(stream.Get()));
}

// Writes bytes as name in a held folder, over a file or a link itself
// there (never through it); a folder there stays. Whether it was written.
bool WriteShortcutFile(HeldFolder& folder, const std::u16string& name, const std::string& bytes) {
  try {
    NewFile file(folder, name);
    file.Out().Write(bytes.data(), bytes.size());
    return file.Place(true);
  } catch (const FileError&) {
    return false;
  }
}

}  // namespace

void CreateShortcut(const std::u16string& Target, const std::u16string& Arguments,
                    const std::u16string& LinkName, FolderKind Kind,
                    const std::u16string& SubFolder) {
  ComPtr<IUnknown> object;
  const HRESULT hr =
      CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                       __uuidof(IUnknown), reinterpret_cast<void**>(object.GetAddressOf()));
  if (FAILED(hr))
    throw OleError(OleErrorText(hr) + u", ClassID: " + GuidText(kShellLink));
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(object.As(&link)) || FAILED(object.As(&file))) {
    throw OleError(u"Interface not supported");
  }
  link->SetPath(W(Target));
  link->SetArguments(W(Arguments));
  link->SetWorkingDirectory(W(ExtractFileDir(Target)));

  const std::u16string name = ExtractFileName(ChangeFileExt(LinkName, u".lnk"));
  const std::u16string folder = GetShellFolder(Kind);
  if (folder.empty())
    return;
  ComPtr<IPersistStream> persist;
  if (FAILED(object.As(&persist)))
    return;
  const std::string bytes = SavedBytes(persist.Get());
  // The folder as the user's registry names it, reached without a link; a
  // shell folder that is or lies behind a junction or link gets nothing.
  if (bytes.empty())
    return;
  const auto tree =
      FolderTree::OpenExisting(SubFolder.empty() ? folder : folder + u"\\" + SubFolder,
                               FolderTree::RootLink::kRefuseOnTheWay);
  if (tree)
    WriteShortcutFile(tree->Root(), name, bytes);
}

std::u16string ResolveShortcut(const std::u16string& LinkFile) {
  ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                reinterpret_cast<void**>(link.GetAddressOf()));
  if (FAILED(hr))
    throw OleError(OleErrorText(hr));
  ComPtr<IPersistFile> file;
  hr = link.As(&file);
  if (FAILED(hr))
    throw OleError(OleErrorText(hr));
  ComPtr<IPersistStream> persist;
  hr = link.As(&persist);
  if (FAILED(hr))
    throw OleError(OleErrorText(hr));

  const std::u16string failed = u"unable to resolve link";
  // A plain shortcut file in a folder reached without a link is read through
  // its handle and, when resolving finds its target moved, written back the
  // safe way. Anything else (a link, or a file behind one) is only read.
  const std::u16string name = ExtractFileName(LinkFile);
  const auto tree =
      FolderTree::OpenExisting(ExtractFileDir(LinkFile), FolderTree::RootLink::kRefuseOnTheWay);
  std::string bytes;
  const bool plain = tree && WithHeldShortcut(tree->Root(), name, false, [&](HeldEntry& held) {
                       bytes = ReadShortcut(held);
                       return true;
                     });
  if (plain) {
    if (!LoadBytes(persist.Get(), bytes) ||
        FAILED(link->Resolve(GetActiveWindow(), SLR_UPDATE | SLR_NO_UI))) {
      return failed;
    }
    if (persist->IsDirty() == S_OK) {
      const std::string updated = SavedBytes(persist.Get());
      if (!updated.empty())
        WriteShortcutFile(tree->Root(), name, updated);
    }
  } else if (FAILED(file->Load(W(LinkFile), STGM_READ)) ||
             FAILED(link->Resolve(GetActiveWindow(), SLR_NOUPDATE | SLR_NO_UI))) {
    return failed;
  }
  wchar_t buffer[MAX_PATH] = {};
  WIN32_FIND_DATAW data{};
  if (FAILED(link->GetPath(buffer, MAX_PATH, &data, SLGP_UNCPRIORITY)))
    return failed;
  return UpToNul(buffer, MAX_PATH);
}

std::u16string FindShortcutFolder(const std::u16string& LinkName,
                                  const std::u16string& FolderName) {
  std::u16string folders[2];
  if (FolderName == u"QuickLaunch") {
    folders[0] = ShellFolderValue(HKEY_CURRENT_USER, u"AppData") + kQuickLaunchBelowAppData;
  } else {
    folders[0] = ShellFolderValue(HKEY_CURRENT_USER, FolderName);
    folders[1] = ShellFolderValue(HKEY_LOCAL_MACHINE, u"Common " + FolderName);
  }
  std::u16string result;
  for (const auto& folder : folders) {
    if (!result.empty() || folder.empty())
      continue;
    const std::u16string candidate = folder + u"\\" + LinkName + u".lnk";
    const DWORD attributes = GetFileAttributesW(W(candidate));
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      result = ExtractFileDir(ResolveShortcut(candidate));
    }
  }
  return result;
}

bool WithHeldShortcut(HeldFolder& folder, const std::u16string& name, bool deleting,
                      const ShortcutUse& use) {
  try {
    const HeldFolder::Entry entry = folder.Look(name);
    if (!entry.exists || entry.folder || entry.link)
      return false;
    HeldEntry held(
        folder, name,
        deleting && !entry.readOnly ? HeldEntry::Hold::kReplace : HeldEntry::Hold::kShared);
    return use(held);
  } catch (const FileError&) {
    return false;
  }
}

bool WithHeldShortcut(const std::u16string& linkFile, bool deleting, const ShortcutUse& use) {
  const auto tree =
      FolderTree::OpenExisting(ExtractFileDir(linkFile), FolderTree::RootLink::kRefuseOnTheWay);
  return tree && WithHeldShortcut(tree->Root(), ExtractFileName(linkFile), deleting, use);
}

std::string ReadShortcut(HeldEntry& held) {
  return held.Read(kMaxShortcut);
}

std::u16string ShortcutTargetOf(const std::string& bytes) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistStream> persist;
  if (bytes.empty() ||
      FAILED(CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                              reinterpret_cast<void**>(link.GetAddressOf()))) ||
      FAILED(link.As(&persist)) || !LoadBytes(persist.Get(), bytes)) {
    return {};
  }
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
    return {};
  return UpToNul(buffer, MAX_PATH);
}

std::u16string ShortcutTarget(const std::u16string& linkFile) {
  std::u16string target;
  WithHeldShortcut(linkFile, false, [&](HeldEntry& held) {
    target = ShortcutTargetOf(ReadShortcut(held));
    return true;
  });
  return target;
}
