#include "shell/SystemDir.h"

#include <windows.h>

std::u16string GetSystemDir() {
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  std::u16string dir(buffer, buffer + n);
  if (dir.back() != u'\\') dir += u'\\';
  return dir;
}
