// The installation an uninstaller belongs to: the uninstall key whose
// "UninstallString" names the program.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "package/UninstallEntry.h"

struct TInstallation {
  std::u16string keyName;  // also the shortcuts' name
  std::u16string keyPath;  // below HKEY_LOCAL_MACHINE
  std::u16string destDir;  // the folder of the uninstall string, ending in "\"
  std::u16string displayName, displayVersion;
  bool chinese = false;
};

// The uninstall key whose "UninstallString" names programPath (letter case
// ignored, quotes around it allowed); nothing when none does.
std::optional<TInstallation> FindInstallation(const std::u16string& programPath);

// Opens the installation's key for deletion (it was found with read access
// only) and closes it again: ERROR_SUCCESS, or the system's error, which is
// ERROR_ACCESS_DENIED in a run without administrator rights.
LSTATUS OpenKeyForDeletion(const std::u16string& keyPath);

// Whether two paths name one file by Windows' own comparison, which folds
// letter case beyond ASCII too, and with short names made long.
bool SameFile(const std::u16string& a, const std::u16string& b);
