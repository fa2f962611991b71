// TForm1: the setup wizard, four pages above a row of buttons.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/ExitCodes.h"
#include "app/RunLog.h"
#include "app/WizardRules.h"
#include "fs/File.h"
#include "ui/Forms.h"

// The language of the run, fixed at start-up: 0 Chinese, anything else
// English.
extern int32_t LanguageIndex;

class TForm1 : public TForm {
 public:
  // The command line may set the destination and leave shortcuts out.
  explicit TForm1(const TCommandLine& line = {});

  // Product settings.
  std::u16string FProductName, FUninstallName, FShortName, FVersion, FSizeText;
  bool FFreeware = false;

  std::u16string FDestDir;
  int32_t FStep = 1;
  std::u16string FFixedDrives;
  std::u16string FBackCaption, FNextCaption, FCancelCaption, FAgreeCaption, FFinishCaption,
      FInstallCaption;
  std::u16string FMsgFolderNotCreated, FMsgExtractFailed, FBrowsePrompt, FFreeSpaceLabel;
  // Whether FormCreate ran to its end. A wizard whose preparation failed has
  // no captions to tell its pages' actions apart: Next does nothing there.
  bool FPrepared = false;
  // The program's exit code as things stand: cancelled until an Install
  // ends, failed after a failed one.
  int FExitCode = kSetupCancelled;
  TRunLog FLog;

  void FormCreate();
  void ApplicationEvents1Idle();
  void UpdateNextCaption();
  void btnPrevClick();
  void btnCloseClick();
  void btnBrowseClick();
  void editSetupDirChange();
  void ShowFreeSpace();
  void btnNextClick();
  void OnExtractProgress(int64_t Percent);

  TPanel &pnlStep1, &pnlStep2, &pnlStep3, &pnlStep4;
  TImage &Image1, &Image2, &Image3;
  TLabel &lblWelcome, &lblWillInstall, &lblLicense, &lblLicenseTip, &lblAgreement, &lblFolder,
      &lblFolderTip, &lblSetupFolder, &lblNeedSize, &lblFreeSize, &lblComplete, &lblClose;
  TMemo& Memo2;
  TGroupBox& gbFolder;
  TEdit& editSetupDir;
  TButton &btnBrowse, &btnPrev, &btnNext, &btnClose;
  TCheckBox &chkSCOnDesktop, &chkSCOnQuick, &chkRunOnExit;
  TProgressBar& ProgressBar1;

 private:
  // The page the idle handler last showed.
  int32_t FShownStep = 1;
  // The destination and the folders on the way to it, held from the folder
  // test until the wizard closes: the product is started from the folder
  // that was tested and written.
  std::unique_ptr<FolderTree> FDest;
  void NameForScreenReaders(const TWizardTexts& t);
  void FinishAction();
  // False when the run ended early (the folder or the extraction failed).
  bool Install();
  TCommandLine FLine;
  // Writes the log where /LOG= says, else into the temporary folder, and
  // gives the message with the log's place.
  std::u16string WithFailureLog(const std::u16string& message);
};

extern TForm1* Form1;
