// Paths off Windows: each "\" becomes "/" where a path meets the system.
#include "common/Text.h"
#include "fs/File.h"
#include "fs/Native.h"

std::string fs_native::UnixPath(std::u16string_view path) {
  std::u16string p(path);
  for (auto& c : p) {
    if (c == u'\\')
      c = u'/';
  }
  return ToUtf8(p);
}

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
