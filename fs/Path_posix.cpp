// Paths off Windows: each "\" becomes "/" where a path meets the system.
#include "common/Text.h"
#include "fs/Native.h"

std::string fs_native::UnixPath(std::u16string_view path) {
  std::u16string p(path);
  for (auto& c : p) {
    if (c == u'\\')
      c = u'/';
  }
  return ToUtf8(p);
}
