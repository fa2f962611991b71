// The uninstaller's own program read through the system's calls, sharing
// reading and deletion (its list is read piece by piece at the end).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A file open for reading, sharing reading and deletion.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::u16string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE; }
  int64_t Size() const;
  // Exactly count bytes from offset; false when they cannot be had.
  bool ReadAt(int64_t offset, char* buffer, size_t count);

 private:
  HANDLE h_;
};
