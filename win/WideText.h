// Text between this program's UTF-16 strings and the system's wide
// characters.
#pragma once

#include <cstddef>
#include <string>

inline const wchar_t* W(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}
inline std::u16string U(const wchar_t* s) {
  return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
// The text of a buffer up to its first NUL.
inline std::u16string UpToNul(const wchar_t* s, size_t size) {
  size_t n = 0;
  while (n < size && s[n] != 0)
    ++n;
  return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}
