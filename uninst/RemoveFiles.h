// Removing the installed files and their folders, never through a link.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Whether the system's error says the file or its folder is not there.
inline bool FileGone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A file that cannot be deleted, and the system's reason (may be empty).
struct TBlockedFile {
  std::u16string path;
  std::u16string reason;
};

// Every file and folder is reached through the destination's held tree
// (fs/File.h): the destination and the folders below it opened one at a time
// without following a link, and held meanwhile, so that none can be renamed,
// deleted or swapped for a link. A file or folder that is a link is never
// entered or deleted, nor is anything behind one; a path that does not lie
// below top, or a top that is not there or is a link, touches nothing.

// The first existing file that another program holds so that it cannot be
// deleted now; nothing is changed.
std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top);
// Deletes the files that exist (read-only ones too), each through its own
// handle; stops at the first that cannot be deleted.
std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top);

// Removes each folder below top that is empty, in the order given (the
// deepest first).
void RemoveEmptyFolders(const std::vector<std::u16string>& folders, const std::u16string& top);
