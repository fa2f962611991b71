// The error kinds of the system. Every error carries a message; operations that
// fail raise one of these, operations that only probe return an absence value.
#pragma once

#include <exception>
#include <string>

class Error : public std::exception {
 public:
  explicit Error(std::u16string message);
  const std::u16string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::u16string message_;
  std::string utf8_;
};

// A text that does not convert to the type asked for, or an object that
// cannot be assigned to another.
class ConvertError : public Error {
 public:
  using Error::Error;
};

// An index outside a list.
class ListIndexError : public Error {
 public:
  using Error::Error;
  explicit ListIndexError(int index);
};

class RegistryError : public Error {
 public:
  using Error::Error;
};

class OleError : public Error {
 public:
  using Error::Error;
};

// A package whose bytes cannot be read or do not hold what they announce.
class PackageReadError : public Error {
 public:
  using Error::Error;
};

// A file that cannot be opened, created, written or renamed.
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
