#include "testsupport/Wait.h"

#include <windows.h>

#include <tlhelp32.h>

namespace testsupport {

bool WaitFor(const std::function<bool()>& condition, unsigned ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (condition())
      return true;
    Sleep(20);
  }
  return condition();
}

bool ProcessRunning(const std::wstring& exeName) {
  const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE)
    return false;
  PROCESSENTRY32W p{};
  p.dwSize = sizeof p;
  bool found = false;
  for (BOOL ok = Process32FirstW(snap, &p); ok && !found; ok = Process32NextW(snap, &p))
    found = lstrcmpiW(p.szExeFile, exeName.c_str()) == 0;
  CloseHandle(snap);
  return found;
}

bool Released(const std::wstring& path) {
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  CloseHandle(h);
  return true;
}

}  // namespace testsupport
