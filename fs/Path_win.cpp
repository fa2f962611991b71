// Paths on Windows: UTF-16 as they stand.
#include "fs/File.h"
#include "fs/Native.h"

#include <cstdio>

std::wstring fs_native::WidePath(std::u16string_view path) {
  return std::wstring(path.begin(), path.end());
}

std::filesystem::path ToFsPath(std::u16string_view path) {
  return std::filesystem::path(fs_native::WidePath(path));
}

std::u16string FromFsPath(const std::filesystem::path& path) {
  const std::wstring& w = path.native();
  return std::u16string(w.begin(), w.end());
}

std::FILE* OpenStdFile(const std::filesystem::path& path, bool write) {
  return _wfopen(path.c_str(), write ? L"wb" : L"rb");
}
