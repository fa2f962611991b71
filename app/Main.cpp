// Setup.exe: chooses the language of the run, shows the wizard and runs the
// message loop until it closes. It takes no command line.
#include <windows.h>

#include <cstdlib>

#include "app/ConflictForm.h"
#include "app/SetupForm.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "shell/Hardening.h"
#include "shell/Win32Util.h"

// An exception that escapes everything ends the program without the
// library's verbose report, which nobody would see in a GUI program and
// which brings a name demangler of some 50 KB along.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

namespace {

void ShowStartupError(const std::exception& e) {
  const auto* err = dynamic_cast<const Error*>(&e);
  const std::u16string text = err != nullptr ? err->Message() : FromUtf8(e.what());
  MessageBoxW(nullptr, W(text), L"Setup", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HardenProcess();
  try {
    LanguageIndex = ChooseLanguageIndex(ResourceString(1007), GetACP());
  } catch (const std::exception& e) {
    ShowStartupError(e);
    return 0;
  }
  try {
    TApplication app;
    // Each size from its own image of the icon, not one image shrunk.
    const auto icon = [instance](int cx, int cy) {
      return static_cast<HICON>(LoadImageW(instance, L"AppIcon", IMAGE_ICON, GetSystemMetrics(cx),
                                           GetSystemMetrics(cy), LR_SHARED));
    };
    app.SetIcon(icon(SM_CXICON, SM_CYICON), icon(SM_CXSMICON, SM_CYSMICON));
    app.CreateForm<TForm1>();
    app.CreateForm<TfrmConflict>();
    Form1->Show();
    app.Run();
  } catch (const std::exception& e) {
    ShowStartupError(e);
  }
  return 0;
}
