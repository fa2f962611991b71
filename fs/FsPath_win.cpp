// std::filesystem paths on Windows, apart from fs/Path_win.cpp so that a
// program that never meets one (Setup.exe) does not carry the library's code.
#include <cstdio>

#include "fs/File.h"
#include "fs/Native.h"

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
