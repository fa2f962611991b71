// A program as the inspection must refuse it: it imports version.dll, which
// is no known DLL on current Windows (a copy beside the program would be
// loaded), asks the Windows version the way a compatibility layer bends,
// and carries no manifest.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  DWORD handle = 0;
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExW(&v);
  return static_cast<int>(GetFileVersionInfoSizeW(commandLine, &handle) + v.dwMajorVersion);
}
