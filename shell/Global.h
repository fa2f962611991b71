// The folder picker and the program launcher.
#pragma once

#include <windows.h>

#include <string>

// A modal folder picker rooted at My Computer; the chosen folder's path, or
// empty when cancelled.
std::u16string BrowseForFolder(HWND OwnerWindow, const std::u16string& Title);
// Starts a program through the shell with its default verb; the process
// handle (the caller closes it), or nullptr. Shows nothing on failure.
HANDLE RunProgram(const std::u16string& FileName, const std::u16string& Parameters);
