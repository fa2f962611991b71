// A DLL that an attacker plants beside a program under a system DLL's name.
// When it is loaded it appends its own path to the file that
// HARDENING_TEST_PLANTED names.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH)
    return TRUE;
  wchar_t marker[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"HARDENING_TEST_PLANTED", marker, MAX_PATH);
  if (n == 0 || n >= MAX_PATH)
    return TRUE;
  const HANDLE f = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE)
    return TRUE;
  wchar_t path[MAX_PATH] = {};
  const DWORD len = GetModuleFileNameW(self, path, MAX_PATH);
  path[len < MAX_PATH - 1 ? len : MAX_PATH - 2] = L'\n';
  DWORD written = 0;
  WriteFile(f, path, static_cast<DWORD>((lstrlenW(path)) * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(f);
  return TRUE;
}
