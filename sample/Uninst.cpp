// A stand-in for the uninstaller, which a later version of the setup system
// provides: it says so and changes nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr,
              L"This version of Norvane Drawlet cannot be removed automatically yet.\n"
              L"Delete its folder to remove it.",
              L"Norvane Drawlet", MB_OK | MB_ICONINFORMATION);
  return 0;
}
