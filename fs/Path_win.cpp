// Paths on Windows: UTF-16 as they stand.
#include "fs/Native.h"

std::wstring fs_native::WidePath(std::u16string_view path) {
  return std::wstring(path.begin(), path.end());
}
