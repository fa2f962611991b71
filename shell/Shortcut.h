// Shortcut files: made, resolved, read and found. Written, elevated, only
// into a shell folder reached without a link anywhere on the way (the
// user's own folders are the user's to change, so they are not tested
// otherwise), as a new file moved over the shortcut through its own handle
// (fs/File.h); read through a handle of the file held in such a folder.
// The calls need COM on the thread.
#pragma once

#include <functional>
#include <string>

#include "fs/File.h"
#include "shell/Errors.h"
#include "shell/ShellFolders.h"

// Writes LinkName (its extension replaced by ".lnk", its name part only) into
// the shell folder (and SubFolder); target, arguments and working directory
// only. Raises OleError when the link object cannot be had; every later
// failure is silent.
void CreateShortcut(const std::u16string& Target, const std::u16string& Arguments,
                    const std::u16string& LinkName, FolderKind Kind,
                    const std::u16string& SubFolder);
// The target of a shortcut file, or "unable to resolve link".
std::u16string ResolveShortcut(const std::u16string& LinkFile);
// The folder (with its "\") of the target of the shortcut LinkName + ".lnk"
// in the shell folder FolderName ("QuickLaunch", or a "Shell Folders" value
// such as "Desktop", also tried in its all-users form); empty when none.
std::u16string FindShortcutFolder(const std::u16string& LinkName, const std::u16string& FolderName);

// What is done with a shortcut file held open; whether it was done.
using ShortcutUse = std::function<bool(HeldEntry& held)>;
// Calls use with the shortcut file name held in folder when it is a plain
// file (no link, no folder). For deleting, others are denied writing and
// deleting it (unless it is read-only and so cannot be held for writing)
// from the reading to the deletion: what was read is what goes. False when
// it is not a plain file or cannot be held.
bool WithHeldShortcut(HeldFolder& folder, const std::u16string& name, bool deleting,
                      const ShortcutUse& use);
// The same for the shortcut file linkFile in its folder, which is reached
// with no link on the way (a user's own folder).
bool WithHeldShortcut(const std::u16string& linkFile, bool deleting, const ShortcutUse& use);
// The bytes of a held shortcut file; raises FileError for a file larger
// than any shortcut.
std::string ReadShortcut(HeldEntry& held);
// The target a shortcut's bytes name, without looking for a moved one;
// empty when they name none.
std::u16string ShortcutTargetOf(const std::string& bytes);
// The target path a shortcut file holds, without looking for a moved one,
// read through its folder reached with no link on the way; empty when it
// cannot be read.
std::u16string ShortcutTarget(const std::u16string& linkFile);
