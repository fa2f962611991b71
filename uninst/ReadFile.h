// Reading files through the system's calls (the uninstaller reads itself and
// its shortcuts with these, not with the portable file layer, to stay small).
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

// The whole of an open file from its start; empty when it cannot be read
// or exceeds limit.
std::string ReadWhole(HANDLE h, int64_t limit);
