// The errors of the file layer.
#pragma once

#include <string>

#include "common/Errors.h"

// A file that cannot be opened, created, read, written or renamed.
class FileError : public Error {
 public:
  using Error::Error;
};

// A link (a symbolic link or a junction) met where nothing is written
// through one; Link() names it.
class LinkError : public FileError {
 public:
  explicit LinkError(std::u16string link);
  LinkError(std::u16string link, std::u16string message);
  const std::u16string& Link() const noexcept { return link_; }

 private:
  std::u16string link_;
};

// A folder on the way to a destination that is there when the run comes to
// make it: someone else made it after the run looked, and it is not used.
// Folder() names it.
class FolderChangedError : public FileError {
 public:
  explicit FolderChangedError(std::u16string folder);
  const std::u16string& Folder() const noexcept { return folder_; }

 private:
  std::u16string folder_;
};
