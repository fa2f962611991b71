// What the portable part of fs/ asks of each system's file (File_posix.cpp,
// File_win.cpp) and its path conversion (Path_posix.cpp, Path_win.cpp).
// Only fs/ includes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace fs_native {

// The system's own spelling of a "\"-separated path: UTF-8 with "/" off
// Windows (UnixPath), UTF-16 as it stands on Windows (WidePath).
std::string UnixPath(std::u16string_view path);
std::wstring WidePath(std::u16string_view path);

std::FILE* OpenStdFile(std::u16string_view path, bool write);
int SeekTo(std::FILE* f, int64_t offset);
int64_t Tell(std::FILE* f);
uint64_t ProcessId();

// "<target>.<8 hex digits>.stp-part", different for every call (fs/File.cpp).
std::u16string TempName(std::u16string_view target, int attempt);
// Creates a new file for writing; never opens what exists at the name.
// existed tells a name that is taken from other failures.
std::FILE* CreateNewFile(std::u16string_view path, bool& existed);

// The levels of a "\"-separated relative path, without empty ones
// (fs/File.cpp).
std::vector<std::u16string> Levels(std::u16string_view rel);

// Opens (when create is set, makes first) the folder name below a held
// folder without following a link, and tells whether it was made; raises
// LinkError or FileError naming shown.
intptr_t OpenLevelAt(intptr_t parent, std::u16string_view name, bool create,
                     const std::u16string& shown, bool& made);

// Removes the empty folder at name in a held folder (its descriptor or
// HANDLE); false when it stays.
bool RemoveEmptyFolderAt(intptr_t folder, std::u16string_view name);

}  // namespace fs_native
