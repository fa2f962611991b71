#include "testsupport/Registry.h"

namespace testsupport {

std::vector<std::pair<std::wstring, std::wstring>> KeyValues(HKEY root, const std::wstring& path,
                                                             REGSAM view) {
  std::vector<std::pair<std::wstring, std::wstring>> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameSize = 256, type = 0;
    wchar_t data[2048] = {};
    DWORD dataSize = sizeof data - sizeof(wchar_t);
    if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                      &dataSize) != ERROR_SUCCESS) {
      break;
    }
    if (type == REG_SZ)
      values.emplace_back(std::wstring(name, nameSize), std::wstring(data));
    else
      values.emplace_back(std::wstring(name, nameSize), L"(not text)");
  }
  RegCloseKey(key);
  return values;
}

}  // namespace testsupport
