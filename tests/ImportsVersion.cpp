// A program as the inspection must refuse it: it imports version.dll, which
// is no known DLL on current Windows (a copy beside the program would be
// loaded), and carries no manifest.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  DWORD handle = 0;
  return static_cast<int>(GetFileVersionInfoSizeW(commandLine, &handle));
}
