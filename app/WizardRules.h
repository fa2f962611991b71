// The rules of the setup wizard as plain functions: the product settings,
// the language, every text of a language, the page flow, the destination
// folder and the free-space line. The Win32 forms call these.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/UninstallEntry.h"

// The language of the run from string 1007: -1 chooses by the ANSI code page
// (936 gives 0, Chinese; anything else 2, English). Raises ConvertError when
// the text is not an integer.
int32_t ChooseLanguageIndex(const std::u16string& text1007, unsigned ansiCodePage);

struct TProductSettings {
  std::u16string FProductName;
  std::u16string FUninstallName;
  std::u16string FShortName;
  std::u16string FVersion;
  std::u16string FSizeText;
  bool FFreeware = false;
};

// Reads the settings through a string-table lookup (empty for a missing id).
// Raises ConvertError when string 1009 is not a boolean.
TProductSettings LoadProductSettings(const std::function<std::u16string(int id)>& strings,
                                     int32_t LanguageIndex);

// Every text the wizard sets in a language. A text left empty (std::nullopt)
// keeps the layout's own.
struct TWizardTexts {
  std::u16string Caption;  // also the application title
  std::u16string FBackCaption, FNextCaption, FCancelCaption, FAgreeCaption, FFinishCaption,
      FInstallCaption;
  std::u16string FMsgFolderNotCreated, FMsgExtractFailed, FBrowsePrompt, FFreeSpaceLabel;
  std::u16string lblWelcome, lblWillInstall, lblSetupFolder, lblNeedSize, lblComplete;
  std::optional<std::u16string> lblLicense, lblLicenseTip, lblAgreement, lblFolder, lblFolderTip,
      gbFolder, btnBrowse, chkSCOnDesktop, chkSCOnQuick, lblClose, chkRunOnExit;
  // What screen readers call the progress bar, which shows no text.
  std::u16string progressName;
  bool showTips = false;                // lblLicenseTip, lblFolderTip and lblClose made visible
  std::vector<std::u16string> licence;  // Memo2, a line each
};

TWizardTexts MakeWizardTexts(int32_t LanguageIndex, const TProductSettings& settings);

// What the idle handler shows for a page.
struct TPageView {
  bool pageVisible[4];
  bool prevVisible;
  bool closeVisible;
  bool nextEnabled;
};
TPageView IdleView(int32_t FStep, bool freeSizeVisible);

// Whether a destination text as typed shows the free-space line: its first
// letter (a-z as A-Z) is a fixed drive and ":\" follows it.
bool FreeSpaceShown(const std::u16string& text, const std::u16string& fixedDrives);

// The destination folder from the text of the box, ending in "\": the "\" is
// appended first (when missing), then blanks (characters up to the space)
// are trimmed from both ends.
std::u16string NormaliseDestination(const std::u16string& text);

// A folder path with each folder name's trailing blanks and dots removed, as
// the system's own path calls read it ("C:\Apps\Drawlet .\" is
// "C:\Apps\Drawlet\"), so that no folder is made under a name the system
// cannot open again; a name left empty goes.
std::u16string TrimFolderNames(const std::u16string& path);

// The warning before anything is written to a destination that a
// non-administrator may change (folder: the destination or a folder above
// it): it names the folder and what to choose instead; the answer No (the
// default) goes back to the folder page.
std::u16string OthersMayChangeText(int32_t LanguageIndex, const std::u16string& folder);

// The message for a link met in the destination (a junction or a symbolic
// link), which nothing is written through.
std::u16string LinkRefusedText(int32_t LanguageIndex, const std::u16string& link);

// The proposed destination: the folder of an earlier installation's shortcut
// without its final "\", else the program files folder + "\Norvane Soft\" +
// the short name.
std::u16string DefaultDestination(const std::u16string& foundFolder,
                                  const std::u16string& programFiles,
                                  const std::u16string& shortName);

// The message of a failed extraction: the run's own words, then the reason
// when one is known. A journal that cannot be read is no older version to
// close: its message says what to do with it instead.
std::u16string ExtractFailedText(int32_t LanguageIndex, const std::u16string& reason);
// The message after the files went in but a registration step failed,
// naming each step left undone.
std::u16string RegistrationFailedText(int32_t LanguageIndex,
                                      const std::vector<std::u16string>& undone);
// The names of the registration steps, for that message and the log.
std::u16string DesktopShortcutStep(int32_t LanguageIndex);
std::u16string QuickLaunchShortcutStep(int32_t LanguageIndex);
std::u16string UninstallEntryStep(int32_t LanguageIndex);
// The free space line's figure when the drive cannot tell it.
std::u16string UnknownFreeSpaceText(int32_t LanguageIndex);
// A message followed by where the run's log was left.
std::u16string WithLogPath(int32_t LanguageIndex, const std::u16string& message,
                           const std::u16string& logPath);
// A second setup of the same product while one runs.
std::u16string AlreadyRunningText(int32_t LanguageIndex);
// A package without a usable index, which installs nothing.
std::u16string NoIndexReason();

// The conflict notice: the publisher's home page that it shows and copies,
// the product it speaks for ("Clockrun" or any other id), and its body.
std::u16string ConflictHomePage();
std::u16string ConflictProductName(const std::u16string& productId);
std::u16string ConflictBody(const std::u16string& productName);
