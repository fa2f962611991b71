// A folder reached from its root one name at a time, each held and none
// followed if it is a link (win/FolderTree.h), so that what is written
// relative to the last handle lands in that folder and nowhere a link would
// send it; and a file replaced in such a folder without ever being written
// through.
#pragma once

#include <windows.h>

#include <string>

#include "win/Handle.h"

// The folder at path (a drive path "C:\..." or "\\server\share\...", with or
// without a final "\"), held; no handle when the path is not absolute, names
// a missing folder, or passes through (or ends in) a junction or symbolic
// link.
win::Handle OpenFolderWithoutLinks(const std::u16string& path);

// Whether the listing of the folder above shows the entry at path (no final
// "\") as a link: a junction, a symbolic link, or a reparse point whose tag
// it does not give. Asked besides the held handle, which stays what is
// used: Wine opens what a host symbolic link names even when asked not to
// follow it, and shows the link only in the listing.
bool ListedAsLink(const std::u16string& path);

// Writes bytes as name in the folder held by folder: into a new file of its
// own name (created exclusively, never an existing one), then renamed over
// name through its own handle, relative to the folder. An existing name
// that is a link or a folder is left alone. Whether name now holds the
// bytes; nothing of the temporary file is left otherwise.
bool ReplaceFileIn(HANDLE folder, const std::u16string& name, const std::string& bytes);
