// The uninstaller removing itself: a running program cannot delete its own
// file, so a copy of it, started once everything else has gone, waits for it
// to end and deletes it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "fs/File.h"

// Puts a copy of the program into a new folder under RemovalCopyParent() and
// starts exactly that copy, with the system directory as its current folder,
// handing it the program's path and a handle to this process on its command
// line. The copy waits for this process to end, deletes the program and then
// its folder when empty, and its own folder; the copy goes when it ends (and
// is down for deletion at the next restart too, with its folder). Falls back
// to deleting the program and its folder at the next restart.
void StartSelfRemoval(const std::u16string& programPath);

// Where the copy's folder is made (ending in "\"): in an administrator's run
// the Windows folder's own Temp, which no other account can swap or take
// over (the user's %TEMP% comes from an environment the user sets); else the
// user's temporary folder.
std::u16string RemovalCopyParent();

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
  // Inheritable; others may only read the copy, which goes when the last
  // handle to it closes.
  HANDLE file = INVALID_HANDLE_VALUE;
  // The copy's parent and the folders above it, held.
  std::unique_ptr<FolderTree> tree;
  std::u16string name;  // the copy's folder in the tree
  // Closes the file's handle (the copy goes unless a process that inherited
  // it still runs) and removes the copy's folder when it is empty.
  void Close();
};
// Holds parent (ending in "\") and the folders above it from the drive's
// root (fs/File.h); refuses a parent that is a link, or a folder on the way
// that anyone but the administrators may change (others may add to the
// parent: the Windows folder's Temp lets every user do that). Makes the new
// folder name in it (nothing that lies there already is used or
// overwritten; in an elevated run's parent, with permissions that let no
// other account write there), writes image (the program's bytes) into it as
// a new file and holds that copy, with a check through the hold that it
// holds the program's bytes. False, with nothing left behind, when any step
// fails.
bool MakeRemovalCopy(const std::string& image, const std::u16string& parent,
                     const std::u16string& name, TRemovalCopy& copy);

// The bytes of the running program's own image: the file at programPath,
// opened once and read through that handle after it is found to be the
// file the process was made from (the same volume and file index); empty
// when it is not, or cannot be read.
std::string RunningImage(const std::u16string& programPath);

// What the copy does when started with kRemovalSwitch: checks that
// waitHandle is a handle to the process that started it (else returns
// kUsage without touching anything), moves itself out of its folder through
// fileHandle (the handle that holds it, which must be its own) so that the
// folder goes when this process ends, waits for its parent to end and
// removes originalPath (only a file named Uninst.exe holding the copy's own
// bytes) and that file's folder when empty, both through a tree of folders
// held from the drive's root (fs/File.h), never through a link; a file that
// another program keeps open is waited for, then left to the next restart.
// Returns kRemoved.
int FinishSelfRemoval(const std::u16string& copyPath, const std::u16string& waitHandle,
                      const std::u16string& fileHandle, const std::u16string& originalPath);
