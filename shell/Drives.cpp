#include "shell/Drives.h"

#include <windows.h>

#include "win/Api.h"
#include "win/WideText.h"

namespace {

// The newer free-space call, looked up by name: Windows 95 lacked it.
auto FreeSpaceEx() {
  return win::Api<win::Fn::GetDiskFreeSpaceExW>();
}

}  // namespace

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
