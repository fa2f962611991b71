#include "shell/Registry.h"

#include <vector>

#include "common/Errors.h"
#include "win/WideText.h"

namespace {

std::u16string DropLeadingBackslash(const std::u16string& path) {
  return !path.empty() && path[0] == u'\\' ? path.substr(1) : path;
}

// One value of any type, the key created when missing.
bool RegWriteValue(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                   DWORD type, const void* data, DWORD bytes) {
  RegKey key;
  const std::u16string path = DropLeadingBackslash(KeyPath);
  const LONG rc = path.empty()
                      ? RegOpenKeyExW(RootKey, nullptr, 0, KEY_ALL_ACCESS, key.Out())
                      : RegCreateKeyExW(RootKey, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, key.Out(), nullptr);
  if (rc != ERROR_SUCCESS)
    return false;
  if (RegSetValueExW(key.get(), ValueName.empty() ? nullptr : W(ValueName), 0, type,
                     static_cast<const BYTE*>(data), bytes) != ERROR_SUCCESS) {
    throw RegistryError(u"Failed to set data for '" + ValueName + u"'");
  }
  return true;
}

}  // namespace

bool RegCreateKeyPath(HKEY RootKey, const std::u16string& KeyPath) {
  RegKey key;
  const std::u16string path = DropLeadingBackslash(KeyPath);
  if (RegCreateKeyExW(RootKey, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, key.Out(), nullptr) != ERROR_SUCCESS) {
    throw RegistryError(u"Failed to create key " + KeyPath);
  }
  return true;
}

bool RegWriteText(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                  const std::u16string& Value) {
  return RegWriteValue(RootKey, KeyPath, ValueName, REG_SZ, W(Value),
                       static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
}

bool RegWriteNumber(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                    uint32_t Value) {
  const DWORD v = Value;
  return RegWriteValue(RootKey, KeyPath, ValueName, REG_DWORD, &v, sizeof v);
}

TRegText RegQueryText(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                      REGSAM access) {
  using Status = TRegText::Status;
  RegKey key;
  const std::u16string path = DropLeadingBackslash(KeyPath);
  if (RegOpenKeyExW(RootKey, path.empty() ? nullptr : W(path), 0, access, key.Out()) !=
      ERROR_SUCCESS) {
    return {};
  }
  const wchar_t* name = ValueName.empty() ? nullptr : W(ValueName);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0) {
    return {};
  }
  // Room for a terminator the data may lack.
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, 0);
  DWORD got = size;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &got) != ERROR_SUCCESS) {
    return {Status::kFailed, {}};
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return {Status::kNotText, {}};
  return {Status::kRead, UpToNul(buffer.data(), got / sizeof(wchar_t))};
}

std::u16string RegReadText(HKEY RootKey, const std::u16string& KeyPath,
                           const std::u16string& ValueName) {
  TRegText value = RegQueryText(RootKey, KeyPath, ValueName, KEY_ALL_ACCESS);
  switch (value.status) {
    case TRegText::Status::kFailed:
      throw RegistryError(u"Failed to get data for '" + ValueName + u"'");
    case TRegText::Status::kNotText:
      throw RegistryError(u"Invalid data type for '" + ValueName + u"'");
    default:
      return std::move(value.text);
  }
}
