// Small owners and conversions for the Win32 layer.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "win/SystemText.h"

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

// An open registry key, closed when it goes.
class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY* Out() {
    Close();
    return &key_;
  }
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void Close() {
    if (key_ != nullptr)
      RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// The whole path the system makes of a path (GetFullPathNameW): "/" for
// "\", doubled separators and "." and ".." parts resolved; path itself
// when the system cannot.
std::u16string ExpandFileName(const std::u16string& path);
