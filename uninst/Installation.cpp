#include "uninst/Installation.h"

#include <vector>

#include "common/Path.h"
#include "common/Text.h"
#include "shell/Registry.h"
#include "uninst/UninstallRules.h"
#include "win/SystemPath.h"
#include "win/WideText.h"

namespace {

std::u16string LongPath(const std::u16string& path) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = GetLongPathNameW(W(path), buffer, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? UpToNul(buffer, n) : path;
}

// A text value of a key below HKEY_LOCAL_MACHINE, read with read access
// alone, which every user has there (RegReadText asks for full access, which
// only administrators get); empty when it cannot be had or is no text.
std::u16string ReadValue(const std::u16string& key, const std::u16string& name) {
  TRegText value = RegQueryText(HKEY_LOCAL_MACHINE, key, name, KEY_QUERY_VALUE);
  return value.status == TRegText::Status::kRead ? std::move(value.text) : std::u16string();
}

}  // namespace

bool SameFile(const std::u16string& a, const std::u16string& b) {
  return SystemSameName(a, b) || SystemSameName(LongPath(a), LongPath(b));
}

std::optional<TInstallation> FindInstallation(const std::u16string& programPath) {
  RegKey root;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(std::u16string(kUninstallRoot)), 0, KEY_READ,
                    root.Out()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256] = {};
    DWORD size = 256;
    const LSTATUS s = RegEnumKeyExW(root.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (s == ERROR_NO_MORE_ITEMS)
      break;
    if (s != ERROR_SUCCESS)
      continue;
    TInstallation inst;
    inst.keyName = UpToNul(name, size);
    inst.keyPath = UninstallKeyPath(inst.keyName);
    const std::u16string command = UninstallProgramOf(ReadValue(inst.keyPath, u"UninstallString"));
    if (command.empty() || !SameFile(command, programPath))
      continue;
    inst.destDir = ExtractFileDir(programPath);
    inst.displayName = ReadValue(inst.keyPath, u"DisplayName");
    if (inst.displayName.empty())
      inst.displayName = inst.keyName;
    inst.displayVersion = ReadValue(inst.keyPath, u"DisplayVersion");
    inst.chinese = IsChinesePublisher(ReadValue(inst.keyPath, u"Publisher"));
    return inst;
  }
  return std::nullopt;
}

LSTATUS OpenKeyForDeletion(const std::u16string& keyPath) {
  // What deleting the key and whatever lies below it needs, and the right to
  // write it as well: Administrators and SYSTEM hold both, other users
  // neither, and a system that does not check DELETE on keys (Wine) still
  // checks the write access.
  RegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(keyPath), 0,
                       DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE,
                       key.Out());
}
