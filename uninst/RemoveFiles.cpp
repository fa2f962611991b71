#include "uninst/RemoveFiles.h"

#include <memory>

#include "common/Errors.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "uninst/UninstallRules.h"

namespace {

// The folder of a plain file a path names, reached without a link; nullptr
// when there is no such file.
HeldFolder* FolderOfFile(FolderTree& tree, const std::u16string& path, const std::u16string& top,
                         std::u16string& name) {
  const std::optional<TRelativeRow> row = RelativeRow(path, top);
  if (!row || row->name.empty())
    return nullptr;
  HeldFolder* folder = tree.Find(row->folder);
  if (folder == nullptr)
    return nullptr;
  const HeldFolder::Entry entry = folder->Look(row->name);
  if (!entry.exists || entry.folder || entry.link)
    return nullptr;
  name = row->name;
  return folder;
}

// The system's reason that ends a message of the file layer.
std::u16string Reason(const Error& e) {
  const size_t at = e.Message().rfind(u"): ");
  return at == std::u16string::npos ? u"" : e.Message().substr(at + 3);
}

}  // namespace

std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top) {
  const std::unique_ptr<FolderTree> tree =
      FolderTree::OpenExisting(top, FolderTree::RootLink::kRefuse);
  if (!tree)
    return std::nullopt;
  for (const std::u16string& f : files) {
    std::u16string name;
    HeldFolder* folder = FolderOfFile(*tree, f, top, name);
    if (folder == nullptr)
      continue;
    // Deleting needs every other handle to share deletion; holding it for
    // writing too catches a running program, whose image cannot be written
    // (a read-only file cannot be opened for writing, so not for it).
    const bool readOnly = folder->Look(name).readOnly;
    try {
      HeldEntry(*folder, name, readOnly ? HeldEntry::Hold::kShared : HeldEntry::Hold::kReplace);
    } catch (const FileError& e) {
      return TBlockedFile{f, Reason(e)};
    }
  }
  return std::nullopt;
}

std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top) {
  const std::unique_ptr<FolderTree> tree =
      FolderTree::OpenExisting(top, FolderTree::RootLink::kRefuse);
  if (!tree)
    return std::nullopt;
  for (const std::u16string& f : files) {
    std::u16string name;
    HeldFolder* folder = FolderOfFile(*tree, f, top, name);
    if (folder == nullptr)
      continue;
    try {
      if (!HeldEntry(*folder, name, HeldEntry::Hold::kShared).Delete())
        return TBlockedFile{f, u""};
    } catch (const FileError& e) {
      if (folder->Look(name).exists)
        return TBlockedFile{f, Reason(e)};
    }
  }
  return std::nullopt;
}

void RemoveEmptyFolders(const std::vector<std::u16string>& folders, const std::u16string& top) {
  const std::unique_ptr<FolderTree> tree =
      FolderTree::OpenExisting(top, FolderTree::RootLink::kRefuse);
  if (!tree)
    return;
  for (const std::u16string& f : folders) {
    const std::optional<TRelativeRow> row = RelativeRow(f, top);
    // Fails, as it should, while anything is left inside.
    if (row && row->name.empty())
      tree->RemoveEmpty(row->folder);
  }
}
