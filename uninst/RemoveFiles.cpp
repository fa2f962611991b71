#include "uninst/RemoveFiles.h"

#include <memory>

#include "common/Errors.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "uninst/UninstallRules.h"

namespace {

// The system's reason that ends a message of the file layer.
std::u16string Reason(const Error& e) {
  const size_t at = e.Message().rfind(u"): ");
  return at == std::u16string::npos ? u"" : e.Message().substr(at + 3);
}

// Calls each(path, folder, name) for every plain file of files that is
// reached from top without a link, until one gives a blocked file.
template <typename F>
std::optional<TBlockedFile> ForEachFile(const std::vector<std::u16string>& files,
                                        const std::u16string& top, F&& each) {
  const std::unique_ptr<FolderTree> tree =
      FolderTree::OpenExisting(top, FolderTree::RootLink::kRefuse);
  if (!tree)
    return std::nullopt;
  for (const std::u16string& f : files) {
    const std::optional<TRelativeRow> row = RelativeRow(f, top);
    if (!row || row->name.empty())
      continue;
    HeldFolder* folder = tree->Find(row->folder);
    if (folder == nullptr)
      continue;
    const HeldFolder::Entry entry = folder->Look(row->name);
    if (!entry.exists || entry.folder || entry.link)
      continue;
    if (std::optional<TBlockedFile> blocked = each(f, *folder, row->name))
      return blocked;
  }
  return std::nullopt;
}

// A file that cannot be deleted now: held for deleting, and for writing too,
// which catches a running program, whose image cannot be written (a
// read-only file cannot be opened for writing, so not for it).
std::optional<TBlockedFile> Blocked(const std::u16string& f, HeldFolder& folder,
                                    const std::u16string& name) {
  const bool readOnly = folder.Look(name).readOnly;
  try {
    HeldEntry(folder, name, readOnly ? HeldEntry::Hold::kShared : HeldEntry::Hold::kReplace);
  } catch (const FileError& e) {
    return TBlockedFile{f, Reason(e)};
  }
  return std::nullopt;
}

// Deletes the file; a file that stays is blocked.
std::optional<TBlockedFile> Delete(const std::u16string& f, HeldFolder& folder,
                                   const std::u16string& name) {
  try {
    if (!HeldEntry(folder, name, HeldEntry::Hold::kShared).Delete())
      return TBlockedFile{f, u""};
  } catch (const FileError& e) {
    if (folder.Look(name).exists)
      return TBlockedFile{f, Reason(e)};
  }
  return std::nullopt;
}

}  // namespace

std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top) {
  return ForEachFile(files, top, Blocked);
}

std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top) {
  return ForEachFile(files, top, Delete);
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
