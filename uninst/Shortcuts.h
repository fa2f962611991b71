// The product's shortcuts: found by their name and their target, deleted
// only when the file read is the file that goes.
#pragma once

#include <string>
#include <vector>

// The desktop (the user's and all users') and Quick Launch shortcuts named
// name + ".lnk" whose target lies in destDir. Needs COM on the thread.
std::vector<std::u16string> OwnShortcuts(const std::u16string& name, const std::u16string& destDir);
// Deletes the shortcut file only when it is a plain file (no link, no
// folder) whose target, read from the file now held open against any other
// change, lies in destDir; whether it went. Needs COM on the thread.
bool DeleteOwnShortcut(const std::u16string& linkFile, const std::u16string& destDir);
