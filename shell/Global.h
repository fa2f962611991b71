// The folder picker and the program launcher.
#pragma once

#include <windows.h>

#include <string>

// A modal folder picker rooted at My Computer; the chosen folder's path, or
// empty when cancelled.
std::u16string BrowseForFolder(HWND OwnerWindow, const std::u16string& Title);
// Starts a program through the shell with its default verb, in WorkingFolder
// (empty: this program's current folder); the process handle (the caller
// closes it), or nullptr. Shows nothing on failure. The program runs with
// this program's rights.
HANDLE RunProgram(const std::u16string& FileName, const std::u16string& Parameters,
                  const std::u16string& WorkingFolder = u"");

// How StartAsUser started a program.
enum class TStarted {
  // Through the signed-in user's own shell (the desktop's), with that
  // user's rights, never this program's elevated ones.
  kByUserShell,
  // No such shell runs (Windows XP, a system without a desktop shell): by
  // RunProgram, with this program's rights.
  kDirectly,
  kNot,
};
// Starts a program, with no parameters, as the user who signed in rather
// than as this elevated program, in WorkingFolder (which ends in "\").
TStarted StartAsUser(const std::u16string& FileName, const std::u16string& WorkingFolder);
