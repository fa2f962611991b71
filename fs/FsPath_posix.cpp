// std::filesystem paths off Windows, apart from fs/Path_posix.cpp as on
// Windows.
#include <cstdio>

#include "common/Text.h"
#include "fs/File.h"
#include "fs/Native.h"

std::filesystem::path ToFsPath(std::u16string_view path) {
  return std::filesystem::path(fs_native::UnixPath(path));
}

std::u16string FromFsPath(const std::filesystem::path& path) {
  std::u16string p = FromUtf8(path.native());
  for (auto& c : p) {
    if (c == u'/')
      c = u'\\';
  }
  return p;
}

std::FILE* OpenStdFile(const std::filesystem::path& path, bool write) {
  return std::fopen(path.c_str(), write ? "wb" : "rb");
}
