// Files addressed by Windows-style UTF-16 paths. Paths are built with "\" as
// on Windows; off Windows each "\" becomes "/" where a path meets the file
// system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// In package/FsPath.cpp, apart, so that programs which never meet a
// std::filesystem path do not link its library code.
std::filesystem::path ToFsPath(std::u16string_view path);
std::u16string FromFsPath(const std::filesystem::path& path);

// A file open for reading. Raises FileError when it cannot be opened and
// PackageReadError on a failed seek.
class InFile {
 public:
  explicit InFile(std::u16string_view path);
  ~InFile();
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;

  int64_t Size() const { return size_; }
  int64_t Position() const { return position_; }
  void Seek(int64_t offset);
  // Reads up to size bytes; returns how many were read.
  size_t Read(void* buffer, size_t size);
  // Reads exactly size bytes or raises PackageReadError.
  void ReadExact(void* buffer, size_t size);

 private:
  std::FILE* file_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A file created for writing, replacing an existing one. Raises FileError.
class OutFile {
 public:
  explicit OutFile(std::u16string_view path);
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // On Windows, gives the file its final size before its bytes are written,
  // so that the system can give it its room at once, in one piece; a disk too
  // full for it fails here. Nothing is written: the bytes still come through
  // Write from the start of the file. Raises FileError.
  void Reserve(int64_t size);
  void Write(const void* data, size_t size);
  void Close();

 private:
  std::u16string path_;
  std::FILE* file_ = nullptr;
};

// The file system operations the extractor and the setup program need. On
// Windows they are the system's own calls (a program that does not need
// std::filesystem does not carry it); elsewhere std::filesystem.
bool DirectoryExists(std::u16string_view path);
bool FileExists(std::u16string_view path);
// Creates the folder and every missing parent; false when it does not exist
// afterwards.
bool ForceDirectories(std::u16string_view path);
// An existing file that may not be written.
bool IsReadOnlyFile(std::u16string_view path);
// Renames a file over another, replacing it; false with the system's reason
// in why when that cannot be done.
bool RenameOver(std::u16string_view from, std::u16string_view to, std::u16string& why);
// Deletes a file; false when it could not be deleted.
bool RemoveFile(std::u16string_view path);
