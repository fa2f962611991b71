#pragma once

#include <gtest/gtest.h>

#include <string>

#include <shlobj.h>

#include "common/Path.h"
#include "common/Text.h"
#include "common/tests/ErrorOf.h"
#include "shell/Drives.h"
#include "shell/InfoMessage.h"
#include "shell/Registry.h"
#include "shell/Shortcut.h"
#include "testsupport/Files.h"
#include "win/WideText.h"

// A scratch folder under the temporary folder, with "\" at its end.
inline std::u16string ScratchFolder(const std::u16string& name) {
  return U(testsupport::ScratchFolder("shelltest-" + ToUtf8(name)).wstring().c_str()) + u"\\";
}

inline bool IsFile(const std::u16string& path) {
  const DWORD a = GetFileAttributesW(W(path));
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

inline DWORD ValueType(HKEY root, const std::u16string& key, const std::u16string& name,
                       DWORD* size = nullptr) {
  RegKey k;
  if (RegOpenKeyExW(root, W(key), 0, KEY_READ, k.Out()) != ERROR_SUCCESS)
    return REG_NONE;
  DWORD type = REG_NONE, bytes = 0;
  if (RegQueryValueExW(k.get(), W(name), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
    return REG_NONE;
  }
  if (size != nullptr)
    *size = bytes;
  return type;
}
