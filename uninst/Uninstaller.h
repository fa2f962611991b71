// The Win32 side of the uninstaller: the installation it belongs to, the
// removal steps, the whole run and the removal of the program itself. The
// program (Main.cpp) is a thin shell around Uninstall().
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "uninst/UninstallRules.h"

// Exit codes of Uninst.exe.
enum UninstallExit : int {
  kRemoved = 0,       // everything of the product is gone
  kFileInUse = 1,     // a file could not be deleted; the key stays
  kNotInstalled = 2,  // no uninstall key names this program
  kCancelled = 3,     // the user answered No
  kKeyKept = 4,       // the files went, the key could not be deleted
  kNoList = 5,        // the program carries no usable list of installed files
  kUsage = 6,         // an unknown argument
  kNeedsAdministrator = 7,  // no right to delete the uninstall key; nothing changed
};

inline constexpr char16_t kUninstallRoot[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

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

// A file that cannot be deleted and the system's error code for it.
struct TBlockedFile {
  std::u16string path;
  DWORD error = 0;
};
// The first existing file that another program holds so that it cannot be
// deleted now; nothing is changed.
std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files);
// Deletes the files that exist (read-only ones too); stops at the first that
// cannot be deleted.
std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files);

// The desktop (the user's and all users') and Quick Launch shortcuts named
// name + ".lnk" whose target lies in destDir. Needs COM on the thread.
std::vector<std::u16string> OwnShortcuts(const std::u16string& name, const std::u16string& destDir);
// The target path a shortcut file holds, without looking for a moved one;
// empty when it cannot be read.
std::u16string ShortcutTarget(const std::u16string& linkFile);

// Removes each folder that is empty, in the order given.
void RemoveEmptyFolders(const std::vector<std::u16string>& folders);

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

// Self-removal. StartSelfRemoval copies the program into the temporary
// folder and starts the copy, which waits for this process to end, deletes
// the program and then its folder when empty, and schedules its own deletion
// for the next restart. Falls back to scheduling both at the restart.
void StartSelfRemoval(const std::u16string& programPath);
// Whether this process is such a copy; FinishSelfRemoval does its work.
bool IsRemovalCopy();
int FinishSelfRemoval(const std::u16string& copyPath);
