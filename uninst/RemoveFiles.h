// Removing the installed files and their folders, never through a link.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Whether the system's error says the file or its folder is not there.
inline bool FileGone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A file that cannot be deleted and the system's error code for it.
struct TBlockedFile {
  std::u16string path;
  DWORD error = 0;
};

// The folders of a tree below its top, opened one at a time from the top
// down without following a link and held, so that while held none can be
// renamed, deleted or swapped for a junction or symbolic link. A folder that
// is itself a link (a reparse point) is never entered.
class PinnedTree {
 public:
  explicit PinnedTree(std::u16string top);  // top ends in "\"
  ~PinnedTree();
  PinnedTree(const PinnedTree&) = delete;
  PinnedTree& operator=(const PinnedTree&) = delete;

  // Whether path lies below the top and every folder between the top and
  // path is a plain folder, each now held (a path ending in "\" is a folder,
  // held too). False for a path through a link or a missing folder.
  bool Reaches(const std::u16string& path);
  // Closes what is held of folder (ending in "\") so that it can be removed.
  void Release(const std::u16string& folder);

 private:
  std::u16string top_;
  std::vector<std::pair<std::u16string, HANDLE>> held_;
};

// Whether the file or folder at path is a reparse point: a junction, a
// symbolic link or a mount point.
bool IsLink(const std::u16string& path);

// The first existing file that another program holds so that it cannot be
// deleted now; nothing is changed. With a top folder, a file behind a link
// below it is passed over (it will not be deleted either).
std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top = {});
// Deletes the files that exist (read-only ones too); stops at the first that
// cannot be deleted. A file that is itself a link stays, and so does, with a
// top folder, every file whose way from the top passes through a link.
std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top = {});

// Removes each folder below top that is empty, in the order given (the
// deepest first); a folder that is a link, or lies behind one, stays.
void RemoveEmptyFolders(const std::vector<std::u16string>& folders, const std::u16string& top);
