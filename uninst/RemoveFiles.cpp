#include "uninst/RemoveFiles.h"

#include <algorithm>

#include "shell/Win32Util.h"
#include "uninst/UninstallRules.h"

namespace {

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Whether the folder of a file lies in another than the tree's top, and all
// the way down is reached without a link; a file with no top is reached.
bool Reached(PinnedTree* tree, const std::u16string& file) {
  return tree == nullptr || tree->Reaches(file);
}

}  // namespace

PinnedTree::PinnedTree(std::u16string top) : top_(std::move(top)) {}

PinnedTree::~PinnedTree() {
  for (auto& [path, h] : held_)
    CloseHandle(h);
}

bool PinnedTree::Reaches(const std::u16string& path) {
  if (!LiesIn(path, top_))
    return false;
  for (size_t cut = path.find(u'\\', top_.size()); cut != std::u16string::npos;
       cut = path.find(u'\\', cut + 1)) {
    const std::u16string folder = path.substr(0, cut);
    if (std::any_of(held_.begin(), held_.end(),
                    [&](const auto& held) { return SamePath(held.first, folder); })) {
      continue;
    }
    // The folder above is held, so this name cannot change from a plain
    // folder into a link between the look and the opening, and the opening
    // does not follow a link either.
    if (!IsPlainFolder(GetFileAttributesW(W(folder))))
      return false;
    const HANDLE h = CreateFileW(
        W(folder), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || !IsPlainFolder(info.dwFileAttributes)) {
      CloseHandle(h);
      return false;
    }
    held_.emplace_back(folder, h);
  }
  return true;
}

void PinnedTree::Release(const std::u16string& folder) {
  std::u16string f = folder;
  if (!f.empty() && f.back() == u'\\')
    f.pop_back();
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if (SamePath(it->first, f)) {
      CloseHandle(it->second);
      held_.erase(it);
      return;
    }
  }
}

bool IsLink(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top) {
  std::optional<PinnedTree> tree;
  if (!top.empty())
    tree.emplace(top);
  for (const std::u16string& f : files) {
    const DWORD attributes = GetFileAttributesW(W(f));
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !Reached(tree ? &*tree : nullptr, f)) {
      continue;
    }
    // Deleting needs every other handle to share deletion; asking for write
    // access too catches a running program, whose image cannot be written
    // (a read-only file cannot be opened for writing, so not for it).
    const DWORD access = DELETE | ((attributes & FILE_ATTRIBUTE_READONLY) ? 0 : FILE_WRITE_DATA);
    const HANDLE h =
        CreateFileW(W(f), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (!FileGone(error))
        return TBlockedFile{f, error};
      continue;
    }
    CloseHandle(h);
  }
  return std::nullopt;
}

std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top) {
  std::optional<PinnedTree> tree;
  if (!top.empty())
    tree.emplace(top);
  for (const std::u16string& f : files) {
    // The folders on the way stay held while the file goes: none can be
    // swapped for a link meanwhile.
    if (!Reached(tree ? &*tree : nullptr, f))
      continue;
    const DWORD attributes = GetFileAttributesW(W(f));
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      continue;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(W(f), attributes & ~FILE_ATTRIBUTE_READONLY);
    // DeleteFileW removes a link itself, never what it points to.
    if (!DeleteFileW(W(f))) {
      const DWORD error = GetLastError();
      if (FileGone(error))
        continue;
      SetFileAttributesW(W(f), attributes);
      return TBlockedFile{f, error};
    }
  }
  return std::nullopt;
}

void RemoveEmptyFolders(const std::vector<std::u16string>& folders, const std::u16string& top) {
  PinnedTree tree(top);
  for (const std::u16string& f : folders) {
    // The folders above stay held; the folder itself is let go to be removed.
    if (!tree.Reaches(f))
      continue;
    tree.Release(f);
    if (!IsLink(f))
      RemoveDirectoryW(W(f));  // fails, as it should, while anything is left inside
  }
}
