// Shortcut files: made, resolved and found. Written, elevated, only into a
// shell folder reached without a link anywhere on the way (the user's own
// folders are the user's to change, so they are not tested otherwise), as a
// new file moved over the shortcut through its own handle (fs/File.h).
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/Errors.h"
#include "common/Path.h"
#include "fs/File.h"
#include "shell/NvSysUtils.h"
#include "shell/Win32Util.h"
#include "win/SystemText.h"

using Microsoft::WRL::ComPtr;

namespace {

// The shell link object. Named here rather than taken from the system's GUID
// library, which would bring every GUID it knows into the program.
const CLSID kShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const char16_t kShellFolders[] =
    u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char16_t kQuickLaunch[] = u"\\Microsoft\\Internet Explorer\\Quick Launch";

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
  bool plain = false;
  std::string bytes;
  if (tree) {
    const HeldFolder::Entry entry = tree->Root().Look(name);
    if (entry.exists && !entry.folder && !entry.link) {
      try {
        HeldEntry held(tree->Root(), name, HeldEntry::Hold::kShared);
        bytes = held.Read(kMaxShortcut);
        plain = true;
      } catch (const FileError&) {
      }
    }
  }
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
    folders[0] = RegReadText(HKEY_CURRENT_USER, kShellFolders, u"AppData") + kQuickLaunch;
  } else {
    folders[0] = RegReadText(HKEY_CURRENT_USER, kShellFolders, FolderName);
    folders[1] = RegReadText(HKEY_LOCAL_MACHINE, kShellFolders, u"Common " + FolderName);
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
