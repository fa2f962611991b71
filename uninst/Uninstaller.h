// The Win32 side of the uninstaller: the run that ties the installation it
// belongs to (Installation.h), the removal of its files (RemoveFiles.h) and
// shortcuts (Shortcuts.h) and the removal of the program itself
// (SelfRemoval.h). The program (Main.cpp) is a thin shell around Uninstall().
#pragma once

#include <functional>
#include <string>

#include "uninst/ExitCodes.h"
#include "uninst/Installation.h"
#include "uninst/ReadFile.h"
#include "uninst/RemoveFiles.h"
#include "uninst/SelfRemoval.h"
#include "uninst/Shortcuts.h"
#include "uninst/UninstallRules.h"

// How the run speaks to the user: ask returns true for Yes; tell shows a
// message with one OK button. Neither is called in a silent run.
struct TUserInterface {
  std::function<bool(const std::u16string& caption, const std::u16string& text)> ask;
  std::function<void(const std::u16string& caption, const std::u16string& text, bool problem)> tell;
};

// The whole removal for the program at programPath, everything but the
// program itself and the destination folder (which holds it); returns an
// exit code. The order: ask, check that every file can go, the files,
// Setup.stp, the shortcuts, the key, the empty folders of the list.
int Uninstall(const std::u16string& programPath, bool silent, const TUserInterface& ui);
