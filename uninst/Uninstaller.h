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

// The folders of a tree below its top, opened one at a time from the top
// down without following a link and held, so that while held none can be
// renamed, deleted or swapped for a junction or symbolic link. A folder that
// is itself a link (a reparse point) is never entered.
class PinnedTree {
 public:
  explicit PinnedTree(std::u16string top);  // top ends in "\"
  ~PinnedTree();
  PinnedTree(const PinnedTree&) = delete;
  PinnedTree& operator=(const PinnedTree&) = delete;

  // Whether path lies below the top and every folder between the top and
  // path is a plain folder, each now held (a path ending in "\" is a folder,
  // held too). False for a path through a link or a missing folder.
  bool Reaches(const std::u16string& path);
  // Closes what is held of folder (ending in "\") so that it can be removed.
  void Release(const std::u16string& folder);

 private:
  std::u16string top_;
  std::vector<std::pair<std::u16string, HANDLE>> held_;
};

// Whether the file or folder at path is a reparse point: a junction, a
// symbolic link or a mount point.
bool IsLink(const std::u16string& path);

// The first existing file that another program holds so that it cannot be
// deleted now; nothing is changed. With a top folder, a file behind a link
// below it is passed over (it will not be deleted either).
std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top = {});
// Deletes the files that exist (read-only ones too); stops at the first that
// cannot be deleted. A file that is itself a link stays, and so does, with a
// top folder, every file whose way from the top passes through a link.
std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top = {});

// The desktop (the user's and all users') and Quick Launch shortcuts named
// name + ".lnk" whose target lies in destDir. Needs COM on the thread.
std::vector<std::u16string> OwnShortcuts(const std::u16string& name, const std::u16string& destDir);
// The target path a shortcut file holds, without looking for a moved one;
// empty when it cannot be read.
std::u16string ShortcutTarget(const std::u16string& linkFile);
// Deletes the shortcut file only when it is a plain file (no link, no
// folder) whose target, read from the file now held open against any other
// change, lies in destDir; whether it went. Needs COM on the thread.
bool DeleteOwnShortcut(const std::u16string& linkFile, const std::u16string& destDir);

// Removes each folder below top that is empty, in the order given (the
// deepest first); a folder that is a link, or lies behind one, stays.
void RemoveEmptyFolders(const std::vector<std::u16string>& folders, const std::u16string& top);

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

// Self-removal. StartSelfRemoval puts a copy of the program into a new
// folder of the temporary folder and starts it, handing it the program's
// path and a handle to this process on its command line. The copy waits for
// this process to end, deletes the program and then its folder when empty;
// the copy and its folder go when the copy ends (and are down for deletion
// at the next restart too). Falls back to deleting the program and its
// folder at the next restart.
void StartSelfRemoval(const std::u16string& programPath);

// The copy's command line: COPY kRemovalSwitch PROCESS-HANDLE FILE-HANDLE
// "ORIGINAL", the handles' values in decimal.
inline constexpr char16_t kRemovalSwitch[] = u"/RemoveOriginal";

// 32 hexadecimal digits from the system's random number generator; empty
// when it has none.
std::u16string RandomName();

// A copy of the program, made by MakeRemovalCopy.
struct TRemovalCopy {
  std::u16string folder;  // ends in "\"
  std::u16string path;    // folder + "Uninst.exe"
  // Both inheritable and deleting on close; the folder's handle has the
  // higher value, so that a process ending closes the file's first.
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE folderHandle = INVALID_HANDLE_VALUE;
  // Closes the handles: the copy and then its folder go unless a process
  // that inherited them still runs.
  void Close();
};
// Makes folder (ending in "\", which must not exist yet: nothing that lies
// there is used or overwritten) with only Administrators and SYSTEM allowed
// in when this process is an administrator's, writes a copy of programPath
// into it as a new file and opens that copy for reading, denying others
// write and delete access, with a check that it holds the program's bytes.
// False, with nothing left behind, when any step fails.
bool MakeRemovalCopy(const std::u16string& programPath, const std::u16string& folder,
                     TRemovalCopy& copy);

// What the copy does when started with kRemovalSwitch: checks that
// waitHandle is a handle to the process that started it (else returns
// kUsage without touching anything), moves itself out of its folder through
// fileHandle (the handle that holds it, which must be its own) so that the
// folder goes when this process ends, waits for its parent to end and
// removes originalPath (only a file named Uninst.exe holding the copy's own
// bytes) and that file's folder when empty. Returns kRemoved.
int FinishSelfRemoval(const std::u16string& copyPath, const std::u16string& waitHandle,
                      const std::u16string& fileHandle, const std::u16string& originalPath);
