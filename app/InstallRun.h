// The installation run: the one way Setup.exe installs, whether the wizard's
// Install button, the silent run or the run with only a progress window
// started it. It fixes the destination, tests who may change it, writes and
// checks the package, unpacks it, and registers the product; what it did and
// why it stopped goes into the run's log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/RunLog.h"
#include "app/WizardRules.h"
#include "fs/File.h"

struct TInstallChoices {
  std::u16string destination;  // as typed, or given on the command line
  bool desktopShortcut = true;
  bool quickLaunchShortcut = false;
};

struct TInstallHooks {
  // The destination or a folder above it may be changed by others: true
  // goes on. The wizard asks; an unattended run refuses.
  std::function<bool(const std::u16string& folder)> othersMayChange;
  // The destination is held; the package is about to be written.
  std::function<void()> extracting;
  std::function<void(int64_t percent)> progress;
};

enum class TInstallResult {
  kInstalled,
  kDeclined,                // the answer to the warning was No; nothing written
  kFolderFailed,            // the destination could not be made or is a link; nothing written
  kFailed,                  // the package could not be written or unpacked
  kRegistrationIncomplete,  // the files went in, a shortcut or the key did not
};

struct TInstallOutcome {
  TInstallResult result = TInstallResult::kFailed;
  std::u16string destDir;  // ending in "\"
  std::u16string message;  // what to tell the user, in the run's language
  // The destination and the folders on the way to it, held since the folder
  // test once the files are in: the product is started from the folder that
  // was tested and written.
  std::unique_ptr<FolderTree> tree;
};

TInstallOutcome RunInstallation(int32_t LanguageIndex, const TProductSettings& settings,
                                const TInstallChoices& choices, const TInstallHooks& hooks,
                                TRunLog& log);

// The folder the wizard proposes: an earlier installation's (found through
// its Quick Launch or desktop shortcut), else one under the program files.
std::u16string ProposedDestination(const TProductSettings& settings);

// Where a failed run that was given no /LOG= leaves its log: a file in the
// temporary folder named after the product.
std::u16string FailureLogPath();
