#include "app/SetupForm.h"

#include "app/InstallRun.h"

#include <cstdlib>
#include <memory>
#include <optional>

#include "common/ByteSize.h"
#include "common/Convert.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "shell/Drives.h"
#include "shell/Global.h"
#include "shell/InfoMessage.h"
#include "win/MessageBox.h"

int32_t LanguageIndex = 0;
TForm1* Form1 = nullptr;

namespace {

std::string TextLayout() {
  return std::string(ResourceData(RT_RCDATA, u"TFORM1"));
}

}  // namespace

TForm1::TForm1(const TCommandLine& line)
    : TForm(TextLayout()),
      pnlStep1(Control<TPanel>("pnlStep1")),
      pnlStep2(Control<TPanel>("pnlStep2")),
      pnlStep3(Control<TPanel>("pnlStep3")),
      pnlStep4(Control<TPanel>("pnlStep4")),
      Image1(Control<TImage>("Image1")),
      Image2(Control<TImage>("Image2")),
      Image3(Control<TImage>("Image3")),
      lblWelcome(Control<TLabel>("lblWelcome")),
      lblWillInstall(Control<TLabel>("lblWillInstall")),
      lblLicense(Control<TLabel>("lblLicense")),
      lblLicenseTip(Control<TLabel>("lblLicenseTip")),
      lblAgreement(Control<TLabel>("lblAgreement")),
      lblFolder(Control<TLabel>("lblFolder")),
      lblFolderTip(Control<TLabel>("lblFolderTip")),
      lblSetupFolder(Control<TLabel>("lblSetupFolder")),
      lblNeedSize(Control<TLabel>("lblNeedSize")),
      lblFreeSize(Control<TLabel>("lblFreeSize")),
      lblComplete(Control<TLabel>("lblComplete")),
      lblClose(Control<TLabel>("lblClose")),
      Memo2(Control<TMemo>("Memo2")),
      gbFolder(Control<TGroupBox>("gbFolder")),
      editSetupDir(Control<TEdit>("editSetupDir")),
      btnBrowse(Control<TButton>("btnBrowse")),
      btnPrev(Control<TButton>("btnPrev")),
      btnNext(Control<TButton>("btnNext")),
      btnClose(Control<TButton>("btnClose")),
      chkSCOnDesktop(Control<TCheckBox>("chkSCOnDesktop")),
      chkSCOnQuick(Control<TCheckBox>("chkSCOnQuick")),
      chkRunOnExit(Control<TCheckBox>("chkRunOnExit")),
      ProgressBar1(Control<TProgressBar>("ProgressBar1")),
      FLine(line) {
  Form1 = this;
  // Enter presses the page's forward button, Escape what Cancel does.
  DefaultButton = &btnNext;
  CancelButton = &btnClose;
  btnNext.OnClick = [this] { btnNextClick(); };
  btnPrev.OnClick = [this] { btnPrevClick(); };
  btnClose.OnClick = [this] { btnCloseClick(); };
  btnBrowse.OnClick = [this] { btnBrowseClick(); };
  editSetupDir.OnChange = [this] { editSetupDirChange(); };
  Application->OnIdle = [this] { ApplicationEvents1Idle(); };
  // An error while the form is prepared is reported; the form then shows as
  // far as it got.
  try {
    FormCreate();
    FPrepared = true;
  } catch (const std::exception& e) {
    Application->ShowException(e);
  }
}

void TForm1::FormCreate() {
  TProductSettings settings = LoadProductSettings(
      [](int id) { return ResourceString(static_cast<UINT>(id)); }, LanguageIndex);
  FShortName = settings.FShortName;
  FVersion = settings.FVersion;
  FSizeText = settings.FSizeText;
  FFreeware = settings.FFreeware;

  Image1.SetPicture(DecodeJpeg(ResourceData(RT_RCDATA, u"ImageLeft" + IntToText(LanguageIndex))));
  Image2.SetPicture(LoadBitmapResource(u"ImageIcon"));
  Image3.SetPicture(
      static_cast<HBITMAP>(CopyImage(Image2.Picture(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));

  const bool chinese = LanguageIndex == 0;
  FProductName = settings.FProductName;
  FUninstallName = settings.FUninstallName;
  const TWizardTexts t = MakeWizardTexts(LanguageIndex, settings);

  if (chinese) {
    for (TLabel* l : {&lblWelcome, &lblWillInstall, &lblSetupFolder, &lblComplete}) {
      TFont f = l->Font();
      f.name = u"宋体";
      if (l == &lblWillInstall || l == &lblSetupFolder) {
        f.points = 9;
        f.pixels = 0;
      }
      l->SetFont(f);
    }
    // Positions are pixels at 96 DPI, like the layout's.
    lblWelcome.SetLeft(ScaleToScreen(193));
    lblWillInstall.SetLeft(lblWelcome.Left());
    lblWelcome.SetTop(lblWelcome.Top() + ScaleToScreen(20));
    lblWillInstall.SetTop(lblWillInstall.Top() + ScaleToScreen(20));
    lblComplete.SetBounds(ScaleToScreen(203), ScaleToScreen(28), lblComplete.Width(),
                          lblComplete.Height());
  } else {
    lblFolder.SetTop(ScaleToScreen(9));
    lblLicense.SetTop(ScaleToScreen(9));
    chkRunOnExit.SetBounds(ScaleToScreen(186), ScaleToScreen(170), chkRunOnExit.Width(),
                           chkRunOnExit.Height());
  }
  for (TLabel* l : {&lblFolderTip, &lblLicenseTip, &lblClose})
    l->SetVisible(t.showTips);
  SetCaption(t.Caption);
  FBackCaption = t.FBackCaption;
  FNextCaption = t.FNextCaption;
  FCancelCaption = t.FCancelCaption;
  FAgreeCaption = t.FAgreeCaption;
  FFinishCaption = t.FFinishCaption;
  FInstallCaption = t.FInstallCaption;
  FMsgFolderNotCreated = t.FMsgFolderNotCreated;
  FMsgExtractFailed = t.FMsgExtractFailed;
  FBrowsePrompt = t.FBrowsePrompt;
  FFreeSpaceLabel = t.FFreeSpaceLabel;
  lblWelcome.SetCaption(t.lblWelcome);
  lblWillInstall.SetCaption(t.lblWillInstall);
  const auto set = [](TControl& c, const std::optional<std::u16string>& text) {
    if (text)
      c.SetCaption(*text);
  };
  set(lblLicense, t.lblLicense);
  set(lblLicenseTip, t.lblLicenseTip);
  set(lblAgreement, t.lblAgreement);
  set(lblFolder, t.lblFolder);
  set(lblFolderTip, t.lblFolderTip);
  lblSetupFolder.SetCaption(t.lblSetupFolder);
  set(gbFolder, t.gbFolder);
  set(btnBrowse, t.btnBrowse);
  lblNeedSize.SetCaption(t.lblNeedSize);
  set(chkSCOnDesktop, t.chkSCOnDesktop);
  set(chkSCOnQuick, t.chkSCOnQuick);
  lblComplete.SetCaption(t.lblComplete);
  set(lblClose, t.lblClose);
  set(chkRunOnExit, t.chkRunOnExit);
  Memo2.SetLines(t.licence);
  NameForScreenReaders(t);

  SetApplicationTitle(Caption());
  btnPrev.SetCaption(FBackCaption);
  btnNext.SetCaption(FNextCaption);
  btnClose.SetCaption(FCancelCaption);
  const DWORD major = WindowsMajorVersion();
  SetSize(ScaleToScreen(503), ScaleToScreen(major >= 6 ? 398 : 385));
  for (TPanel* p : {&pnlStep2, &pnlStep3, &pnlStep4})
    p->SetAlign(TAlign::Top);
  FStep = 1;
  ProgressBar1.SetPosition(0);
  chkSCOnQuick.SetVisible(major < 6);
  FFixedDrives = GetFixedDrives();

  if (FLine.noDesktop)
    chkSCOnDesktop.SetChecked(false);
  if (FLine.noQuickLaunch)
    chkSCOnQuick.SetChecked(false);
  // A failure while looking for an earlier installation (a shell folder
  // value that is no text, the shell's own error) leaves the folder box
  // empty and the wizard usable.
  std::u16string proposed = FLine.destination;
  if (proposed.empty()) {
    try {
      proposed = ProposedDestination(settings);
    } catch (const std::exception&) {
    }
  }
  editSetupDir.SetText(proposed);
}

void TForm1::NameForScreenReaders(const TWizardTexts& t) {
  // The pictures are the product's; each page and its header band is named
  // by its heading, the licence text by the licence page's.
  for (TImage* i : {&Image1, &Image2, &Image3})
    i->SetAccessibleName(FProductName);
  const std::pair<TPanel*, TLabel*> headings[] = {
      {&pnlStep1, &lblWelcome},
      {&pnlStep2, &lblLicense},
      {&Control<TPanel>("Panel3"), &lblLicense},
      {&pnlStep3, &lblFolder},
      {&Control<TPanel>("Panel4"), &lblFolder},
      {&pnlStep4, &lblComplete},
  };
  for (const auto& [panel, heading] : headings)
    panel->SetAccessibleName(heading->AccessibleName());
  Memo2.SetAccessibleName(lblLicense.AccessibleName());
  ProgressBar1.SetAccessibleName(t.progressName);
}

void TForm1::ApplicationEvents1Idle() {
  const TPageView view = IdleView(FStep, lblFreeSize.Visible());
  pnlStep1.SetVisible(view.pageVisible[0]);
  pnlStep2.SetVisible(view.pageVisible[1]);
  pnlStep3.SetVisible(view.pageVisible[2]);
  pnlStep4.SetVisible(view.pageVisible[3]);
  btnPrev.SetVisible(view.prevVisible);
  btnClose.SetVisible(view.closeVisible);
  btnNext.SetEnabled(view.nextEnabled && FPrepared);
  // A new page puts the focus on its forward button (when that is disabled,
  // the form moves it to the page's first control).
  if (FStep != FShownStep) {
    FShownStep = FStep;
    FocusControl(btnNext);
  }
}

void TForm1::UpdateNextCaption() {
  const std::u16string caption = FStep == 2   ? FAgreeCaption
                                 : FStep == 3 ? FInstallCaption
                                 : FStep == 4 ? FFinishCaption
                                              : FNextCaption;
  btnNext.SetCaption(caption);
}

void TForm1::btnPrevClick() {
  FStep = FStep - 1;
  UpdateNextCaption();
}

void TForm1::btnCloseClick() {
  Close();
}

void TForm1::btnBrowseClick() {
  const std::u16string path = BrowseForFolder(Handle(), FBrowsePrompt);
  if (path.empty())
    return;
  editSetupDir.SetText(path);
  ShowFreeSpace();
}

void TForm1::editSetupDirChange() {
  if (FreeSpaceShown(editSetupDir.Text(), FFixedDrives))
    ShowFreeSpace();
  else
    lblFreeSize.SetVisible(false);
}

void TForm1::ShowFreeSpace() {
  const std::u16string text = editSetupDir.Text();
  const char16_t letter = text.empty() ? u'\0' : text[0];
  const int64_t free = DriveFreeSpace(letter);
  lblFreeSize.SetCaption(FFreeSpaceLabel + (free < 0
                                                ? UnknownFreeSpaceText(LanguageIndex)
                                                : FormatByteSize(free, UserDecimalSeparator())));
  lblFreeSize.SetVisible(true);
}

// ---- The installation run

void TForm1::btnNextClick() {
  // Every caption of a half-prepared wizard is empty, so each would match
  // the Finish one: neither install nor start anything there.
  if (!FPrepared)
    return;
  const std::u16string caption = btnNext.Caption();
  if (caption == FFinishCaption) {
    FinishAction();
    return;
  }
  if (caption == FInstallCaption && !Install())
    return;
  FStep = FStep + 1;
  UpdateNextCaption();
}

void TForm1::FinishAction() {
  // As the user who signed in, not with Setup's elevated rights, in its own
  // folder: the one held since it was tested, where a plain file of its
  // name must stand.
  if (chkRunOnExit.Checked() && FDest != nullptr) {
    const std::u16string exe = FShortName + u".exe";
    const HeldFolder::Entry entry = FDest->Root().Look(exe);
    if (entry.exists && !entry.folder && !entry.link)
      StartAsUser(FDest->Root().Path() + exe, FDest->Root().Path());
  }
  Close();
}

bool TForm1::Install() {
  TProductSettings settings;
  settings.FProductName = FProductName;
  settings.FUninstallName = FUninstallName;
  settings.FShortName = FShortName;
  settings.FVersion = FVersion;
  TInstallChoices choices;
  choices.destination = editSetupDir.Text();
  choices.desktopShortcut = chkSCOnDesktop.Checked();
  choices.quickLaunchShortcut = chkSCOnQuick.Visible() && chkSCOnQuick.Checked();
  TInstallHooks hooks;
  hooks.othersMayChange = [](const std::u16string& open) {
    return AskWarning(OthersMayChangeText(LanguageIndex, open));
  };
  hooks.extracting = [this] {
    for (TButton* b : {&btnNext, &btnPrev, &btnClose, &btnBrowse})
      b->SetEnabled(false);
    ProgressBar1.SetVisible(true);
    Application->ProcessMessages();
  };
  hooks.progress = [this](int64_t percent) { OnExtractProgress(percent); };
  FDest.reset();
  TInstallOutcome outcome = RunInstallation(LanguageIndex, settings, choices, hooks, FLog);
  FDest = std::move(outcome.tree);
  FDestDir = outcome.destDir;
  switch (outcome.result) {
    case TInstallResult::kDeclined:
      return false;
    case TInstallResult::kFolderFailed:
      FExitCode = kSetupFailed;
      ShowMessage(WithFailureLog(outcome.message));
      return false;
    case TInstallResult::kFailed:
      FExitCode = kSetupFailed;
      ShowInfoMessage(WithFailureLog(outcome.message));
      for (TButton* b : {&btnNext, &btnPrev, &btnClose, &btnBrowse})
        b->SetEnabled(true);
      ProgressBar1.SetVisible(false);
      return false;
    case TInstallResult::kRegistrationIncomplete:
      FExitCode = kSetupFailed;
      ShowInfoMessage(WithFailureLog(outcome.message));
      break;
    case TInstallResult::kInstalled:
      FExitCode = kSetupInstalled;
      break;
  }
  Image1.SetParent(&pnlStep4);
  ProgressBar1.SetVisible(false);
  return true;
}

std::u16string TForm1::WithFailureLog(const std::u16string& message) {
  const std::u16string path = FLine.logFile.empty() ? FailureLogPath() : FLine.logFile;
  std::u16string why;
  return WithLogPath(LanguageIndex, message, FLog.WriteTo(path, why) ? path : u"");
}

void TForm1::OnExtractProgress(int64_t Percent) {
  ProgressBar1.SetPosition(static_cast<int>(static_cast<int32_t>(Percent & 0xFFFFFFFF)));
}
