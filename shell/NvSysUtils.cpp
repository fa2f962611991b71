#include "shell/NvSysUtils.h"

#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "shell/Win32Util.h"
#include "win/Api.h"

namespace {

std::u16string& Title() {
  static std::u16string title;
  return title;
}

std::u16string DropLeadingBackslash(const std::u16string& path) {
  return !path.empty() && path[0] == u'\\' ? path.substr(1) : path;
}

// The newer free-space call, looked up by name: Windows 95 lacked it.
auto FreeSpaceEx() {
  return win::Api<win::Fn::GetDiskFreeSpaceExW>();
}

const char16_t kExplorerKey[] = u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
const char16_t kQuickLaunch[] = u"\\Microsoft\\Internet Explorer\\Quick Launch";

}  // namespace

std::u16string ExpandFileName(const std::u16string& path) {
  const DWORD n = GetFullPathNameW(W(path), 0, nullptr, nullptr);
  if (n == 0)
    return path;
  std::wstring buffer(n, L'\0');
  const DWORD got = GetFullPathNameW(W(path), n, buffer.data(), nullptr);
  return got == 0 || got >= n ? path : UpToNul(buffer.c_str(), got);
}

void SetApplicationTitle(std::u16string title) {
  Title() = std::move(title);
}
const std::u16string& ApplicationTitle() {
  return Title();
}

void ShowInfoMessage(const std::u16string& Text, const std::u16string& Caption) {
  const std::u16string caption = Caption.empty() ? ApplicationTitle() : Caption;
  MessageBoxW(GetActiveWindow(), W(Text), W(caption), MB_OK | MB_ICONINFORMATION);
}

std::u16string UserDecimalSeparator() {
  wchar_t buf[8] = {};  // the system allows 3 characters
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8);
  const std::u16string separator = n > 1 ? UpToNul(buf, static_cast<size_t>(n)) : u"";
  return separator.empty() ? u"." : separator;
}

int64_t DriveFreeSpace(char16_t DriveLetter) {
  const uint8_t drive = static_cast<uint8_t>((DriveLetter & 0xFF) - 64);
  wchar_t root[4] = {static_cast<wchar_t>(drive + 64), L':', L'\\', 0};
  const wchar_t* path = drive == 0 ? nullptr : root;
  if (const auto ex = FreeSpaceEx()) {
    ULARGE_INTEGER available, total;
    if (!ex(path, &available, &total, nullptr))
      return -1;
    return static_cast<int64_t>(available.QuadPart);
  }
  DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceW(path, &sectors, &bytes, &freeClusters, &clusters))
    return -1;
  return static_cast<int64_t>(sectors) * static_cast<int64_t>(bytes) *
         static_cast<int64_t>(freeClusters);
}

std::u16string GetFixedDrives() {
  std::u16string letters;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((mask >> i) & 1) {
      const wchar_t root[4] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
      if (GetDriveTypeW(root) == DRIVE_FIXED)
        letters += static_cast<char16_t>(u'A' + i);
    }
  }
  return letters;
}

std::u16string GetSystemDir() {
  wchar_t buffer[MAX_PATH];
  if (GetSystemDirectoryW(buffer, MAX_PATH) == 0)
    return {};
  return UpToNul(buffer, MAX_PATH) + u"\\";
}

bool RegCreateKeyPath(HKEY RootKey, const std::u16string& KeyPath) {
  RegKey key;
  const std::u16string path = DropLeadingBackslash(KeyPath);
  if (RegCreateKeyExW(RootKey, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, key.Out(), nullptr) != ERROR_SUCCESS) {
    throw RegistryError(u"Failed to create key " + KeyPath);
  }
  return true;
}

namespace {

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

std::u16string RegReadText(HKEY RootKey, const std::u16string& KeyPath,
                           const std::u16string& ValueName) {
  RegKey key;
  const std::u16string path = DropLeadingBackslash(KeyPath);
  if (RegOpenKeyExW(RootKey, path.empty() ? nullptr : W(path), 0, KEY_ALL_ACCESS, key.Out()) !=
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
    throw RegistryError(u"Failed to get data for '" + ValueName + u"'");
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    throw RegistryError(u"Invalid data type for '" + ValueName + u"'");
  }
  return UpToNul(buffer.data(), got / sizeof(wchar_t));
}

std::u16string GetShellFolder(FolderKind Kind) {
  static const char16_t* const kValues[5] = {u"Desktop", u"AppData", u"SendTo", u"Start Menu",
                                             u"Startup"};
  std::u16string result;
  RegKey explorer;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, W(std::u16string(kExplorerKey)), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, explorer.Out(),
                      nullptr) != ERROR_SUCCESS) {
    return result;
  }
  if (Kind > 4)
    return result;
  result = RegReadText(explorer.get(), u"Shell Folders", kValues[Kind]);
  if (Kind == 1)
    result += kQuickLaunch;
  return result;
}
