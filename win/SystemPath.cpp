#include "win/SystemPath.h"

#include <windows.h>

#include "win/WideText.h"

std::u16string ExpandFileName(const std::u16string& path) {
  const DWORD n = GetFullPathNameW(W(path), 0, nullptr, nullptr);
  if (n == 0)
    return path;
  std::wstring buffer(n, L'\0');
  const DWORD got = GetFullPathNameW(W(path), n, buffer.data(), nullptr);
  return got == 0 || got >= n ? path : UpToNul(buffer.c_str(), got);
}

bool SystemSameName(std::u16string_view a, std::u16string_view b) {
  const std::wstring wa(a.begin(), a.end()), wb(b.begin(), b.end());
  return lstrcmpiW(wa.c_str(), wb.c_str()) == 0;
}
