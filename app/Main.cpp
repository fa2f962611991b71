// Setup.exe: reads its command line, chooses the language of the run, and
// either shows the wizard and runs the message loop until it closes, or
// installs without a person (/S: nothing shown; /P: only a progress window).
// Its exit code is the outcome in every mode (app/ExitCodes.h).
#include <windows.h>

#include <cstdlib>

#include "app/CommandLine.h"
#include "app/ConflictForm.h"
#include "app/ExitCodes.h"
#include "app/InstallRun.h"
#include "app/RunLog.h"
#include "app/SetupForm.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "shell/Hardening.h"
#include "win/Handle.h"
#include "win/MessageBox.h"
#include "win/WideText.h"

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
  ShowMessageBox(nullptr, MessageOf(e), u"Setup", MB_OK | MB_ICONERROR);
}

// The log goes where /LOG= says; without it a failed run leaves one in the
// temporary folder. Returns where it went (empty: nowhere).
std::u16string SaveLog(const TRunLog& log, const TCommandLine& line, bool failed) {
  std::u16string path = line.logFile;
  if (path.empty() && failed)
    path = FailureLogPath();
  if (path.empty())
    return {};
  std::u16string why;
  return log.WriteTo(path, why) ? path : std::u16string();
}

// One run of this product's setup at a time, wizard or not: a named mutex
// per product, held until the program ends.
class ProductLock {
 public:
  explicit ProductLock(const std::u16string& product) {
    std::u16string name = u"Global\\NorvaneSetup-";
    for (char16_t c : product)
      name += c == u'\\' ? u'_' : c;
    const HANDLE h = CreateMutexW(nullptr, FALSE, W(name));
    const DWORD error = GetLastError();
    mutex_.Reset(h);
    taken_ = h != nullptr && error != ERROR_ALREADY_EXISTS;
  }
  bool Taken() const { return taken_; }

 private:
  win::Handle mutex_;
  bool taken_ = false;
};

// A small window with the product's name and a progress bar, for /P.
constexpr char kProgressLayout[] =
    "form frmProgress width=320 height=56 client color=btnface font=Tahoma px=11 "
    "fontcolor=windowtext\n"
    "progress ProgressBar1 parent=frmProgress left=16 top=20 width=288 height=16\n";

int InstallUnattended(const TCommandLine& line, TRunLog& log) {
  TApplication app;
  const TProductSettings settings = LoadProductSettings(
      [](int id) { return ResourceString(static_cast<UINT>(id)); }, LanguageIndex);
  log.Line(u"Product: " + settings.FProductName + u" " + settings.FVersion);
  TInstallChoices choices;
  choices.destination = line.destination.empty() ? ProposedDestination(settings) : line.destination;
  choices.desktopShortcut = !line.noDesktop;
  choices.quickLaunchShortcut = !line.noQuickLaunch && WindowsMajorVersion() < 6;
  TInstallHooks hooks;
  // No question is asked: a destination others may change is refused.
  hooks.othersMayChange = [](const std::u16string&) { return false; };
  TProgressBar* bar = nullptr;
  if (line.progressOnly && !line.silent) {
    TForm* form = app.CreateForm<TForm>(kProgressLayout);
    form->SetCaption(MakeWizardTexts(LanguageIndex, settings).Caption);
    bar = &form->Control<TProgressBar>("ProgressBar1");
    form->Show();
    app.ProcessMessages();
  }
  hooks.progress = [&](int64_t percent) {
    if (bar != nullptr) {
      bar->SetPosition(static_cast<int>(percent));
      app.ProcessMessages();
    }
  };
  const TInstallOutcome outcome = RunInstallation(LanguageIndex, settings, choices, hooks, log);
  return outcome.result == TInstallResult::kInstalled ? kSetupInstalled : kSetupFailed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  HardenProcess();
  const TCommandLine line = ParseCommandLine(ArgumentsOf(U(GetCommandLineW())));
  TRunLog log;
  try {
    LanguageIndex = ChooseLanguageIndex(ResourceString(1007), GetACP());
  } catch (const std::exception& e) {
    log.Line(u"Failed at start: " + MessageOf(e));
    SaveLog(log, line, true);
    if (!line.Quiet())
      ShowStartupError(e);
    return kSetupFailed;
  }
  log.Line(u"Setup " + ResourceString(1011) + u", language " + IntToText(LanguageIndex));
  log.Line(u"Command line: " + U(GetCommandLineW()));
  if (!line.fault.empty()) {
    log.Line(u"Refused: " + line.fault);
    SaveLog(log, line, false);
    if (!line.Quiet()) {
      ShowMessageBox(nullptr, line.fault + u"\n\n" + UsageText(LanguageIndex), u"Setup",
                     MB_OK | MB_ICONERROR);
    }
    return kSetupBadCommandLine;
  }
  if (line.usage) {
    if (line.Quiet()) {
      log.Line(UsageText(LanguageIndex));
      SaveLog(log, line, false);
    } else {
      ShowMessageBox(nullptr, UsageText(LanguageIndex), u"Setup", MB_OK | MB_ICONINFORMATION);
    }
    return kSetupInstalled;
  }
  const ProductLock lock(ResourceString(1003));
  if (!lock.Taken()) {
    log.Line(u"Refused: another setup of this product is running");
    SaveLog(log, line, false);
    if (!line.Unattended()) {
      ShowMessageBox(nullptr, AlreadyRunningText(LanguageIndex), u"Setup",
                     MB_OK | MB_ICONINFORMATION);
    }
    return kSetupAlreadyRunning;
  }
  if (line.Unattended()) {
    int code = kSetupFailed;
    try {
      code = InstallUnattended(line, log);
    } catch (const std::exception& e) {
      log.Line(u"Failed: " + MessageOf(e));
    }
    SaveLog(log, line, code != kSetupInstalled);
    return code;
  }
  int code = kSetupFailed;
  try {
    TApplication app;
    // Each size from its own image of the icon, not one image shrunk.
    const auto icon = [instance](int cx, int cy) {
      return static_cast<HICON>(LoadImageW(instance, L"AppIcon", IMAGE_ICON, GetSystemMetrics(cx),
                                           GetSystemMetrics(cy), LR_SHARED));
    };
    app.SetIcon(icon(SM_CXICON, SM_CYICON), icon(SM_CXSMICON, SM_CYSMICON));
    TForm1* form = app.CreateForm<TForm1>(line);
    app.CreateForm<TfrmConflict>();
    form->FLog = log;
    Form1->Show();
    app.Run();
    code = form->FExitCode;
    log = form->FLog;
  } catch (const std::exception& e) {
    log.Line(u"Failed: " + MessageOf(e));
    ShowStartupError(e);
  }
  if (!line.logFile.empty())
    SaveLog(log, line, false);
  return code;
}
