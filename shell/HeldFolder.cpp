#include "shell/HeldFolder.h"

#include <vector>

#include "shell/Win32Util.h"
#include "win/FolderTree.h"

namespace {

// The names of path after its root, and the root itself ("C:\" or
// "\\server\share\"); no root when the path is not absolute.
std::u16string SplitRoot(const std::u16string& path, std::vector<std::u16string>& names) {
  std::u16string root;
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') {
    root = path.substr(0, 3);
  } else if (path.rfind(u"\\\\", 0) == 0 && path.size() > 2 && path[2] != u'?' && path[2] != u'.') {
    const size_t server = path.find(u'\\', 2);
    const size_t share = server == std::u16string::npos ? server : path.find(u'\\', server + 1);
    if (server == std::u16string::npos || server == 2 || share == server + 1)
      return {};
    root = share == std::u16string::npos ? path + u"\\" : path.substr(0, share + 1);
  } else {
    return {};
  }
  for (size_t at = root.size(); at < path.size();) {
    size_t end = path.find(u'\\', at);
    if (end == std::u16string::npos)
      end = path.size();
    const std::u16string name = path.substr(at, end - at);
    if (name == u"." || name == u"..")
      return {};
    if (!name.empty())
      names.push_back(name);
    at = end + 1;
  }
  return root;
}

}  // namespace

bool ListedAsLink(const std::u16string& path) {
  WIN32_FIND_DATAW found{};
  const HANDLE h = FindFirstFileW(W(path), &found);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  FindClose(h);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (found.dwReserved0 == 0 || win::IsLinkTag(found.dwReserved0));
}

win::Handle OpenFolderWithoutLinks(const std::u16string& path) {
  std::vector<std::u16string> names;
  const std::u16string root = SplitRoot(path, names);
  if (root.empty())
    return {};
  win::Handle folder = win::OpenFolderByPath(root);
  std::u16string at = root;
  for (const std::u16string& name : names) {
    if (!folder)
      return {};
    at += name;
    win::Handle next;
    bool link = false;
    if (win::OpenHeldFolder(folder.get(), name, false, next, link) < 0 || link ||
        ListedAsLink(at)) {
      return {};
    }
    folder = std::move(next);
    at += u"\\";
  }
  return folder;
}

bool ReplaceFileIn(HANDLE folder, const std::u16string& name, const std::string& bytes) {
  const win::Found found = win::LookAt(folder, name);
  if (found.exists && (found.link || found.folder))
    return false;
  static LONG counter = 0;
  win::Handle temp;
  for (int attempt = 0; attempt < 16 && !temp; ++attempt) {
    wchar_t suffix[64];
    wsprintfW(suffix, L".%lx-%lx-%lx.tmp", GetCurrentProcessId(), GetTickCount(),
              static_cast<unsigned long>(InterlockedIncrement(&counter)));
    if (win::CreateNewAt(folder, name + U(suffix), temp) < 0)
      temp.Reset();
  }
  if (!temp)
    return false;
  DWORD written = 0;
  const bool done =
      WriteFile(temp.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && win::RenameAt(temp.get(), folder, name, true) >= 0;
  if (!done)
    win::DeleteThrough(temp.get());
  return done;
}
