// Uninst.exe: removes the installation whose uninstall key names it.
//   Uninst.exe        asks once, removes, says it is done
//   Uninst.exe /S     the same without any window; the exit code tells
// Exit codes: uninst/Uninstaller.h.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "shell/Hardening.h"
#include "uninst/Uninstaller.h"
#include "win/MessageBox.h"
#include "win/WideText.h"

namespace {

std::u16string ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size())
      return UpToNul(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool Ask(const std::u16string& caption, const std::u16string& text) {
  return ShowMessageBox(nullptr, text, caption,
                        MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST) == IDYES;
}

void Tell(const std::u16string& caption, const std::u16string& text, bool problem) {
  ShowMessageBox(
      nullptr, text, caption,
      MB_OK | (problem ? MB_ICONWARNING : MB_ICONINFORMATION) | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  HardenProcess();
  const std::u16string self = ProgramPath();
  // Out of the destination folder, so that nothing of this process keeps it,
  // and into one no other account can change (not %TEMP%, which the user's
  // environment names).
  wchar_t system[MAX_PATH + 1] = {};
  if (GetSystemDirectoryW(system, MAX_PATH + 1) > 0)
    SetCurrentDirectoryW(system);

  bool silent = false;
  std::u16string unknown;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  // The removal copy:
  //   COPY /RemoveOriginal PROCESS-HANDLE FILE-HANDLE "ORIGINAL"
  if (argv != nullptr && argc == 5 && U(argv[1]) == kRemovalSwitch) {
    const std::u16string process = U(argv[2]), file = U(argv[3]), original = U(argv[4]);
    LocalFree(argv);
    return FinishSelfRemoval(self, process, file, original);
  }
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    if (lstrcmpiW(argv[i], L"/S") == 0 || lstrcmpiW(argv[i], L"-S") == 0) {
      silent = true;
    } else if (unknown.empty()) {
      unknown = U(argv[i]);
    }
  }
  if (argv != nullptr)
    LocalFree(argv);
  if (!unknown.empty()) {
    const bool zh = GetACP() == 936;
    if (!silent)
      Tell(PlainCaption(zh), UnknownOptionText(zh, unknown), true);
    return kUsage;
  }

  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int code = Uninstall(self, silent, TUserInterface{Ask, Tell});
  if (SUCCEEDED(com))
    CoUninitialize();
  // Itself last, once everything else has gone.
  if (code == kRemoved)
    StartSelfRemoval(self);
  return code;
}
