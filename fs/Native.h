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

// A C file open for reading ("rb"); nullptr when it cannot be opened.
std::FILE* OpenStdFile(std::u16string_view path);
// A file opened for reading as the C runtime's "rb" would, by its handle or
// descriptor; -1 when it cannot be.
intptr_t OpenForReading(std::u16string_view path);
// A file created for writing (replacing one there) as the C runtime's "wb"
// would, by its handle or descriptor; -1 when it cannot be.
intptr_t CreateForWriting(std::u16string_view path);
// Writes all of data through a handle or descriptor; false when the system
// refuses or writes nothing.
bool WriteAll(intptr_t native, const void* data, size_t size);
// Closes a handle or descriptor; false when the system reports a failure.
bool CloseNative(intptr_t native);
int SeekTo(std::FILE* f, int64_t offset);
int64_t Tell(std::FILE* f);

// "<target>.<8 hex digits>.stp-part", different for every call (fs/File.cpp).
std::u16string TempName(std::u16string_view target);

// Opens (when create is set, makes first) the folder name below a held
// folder without following a link, and tells whether it was made; raises
// LinkError or FileError naming shown.
intptr_t OpenLevelAt(intptr_t parent, std::u16string_view name, bool create,
                     const std::u16string& shown, bool& made);

// A folder's whole path, as the system would read it; how much of it is its
// top ("C:\\", "\\\\server\\share\\", "/"), which is opened by its path; the
// characters that separate its levels.
std::u16string WholePath(std::u16string_view path);
size_t TopLength(std::u16string_view path);
extern const char16_t kSeparators[];
intptr_t OpenTop(const std::u16string& top);
// Opens the existing folder name below a held folder to hold it, without
// following a link at its name when last is set (raises LinkError); a link
// on the way is followed, and strange tells that it belongs to anyone but
// the administrators or the system. -1 when nothing is there. Raises
// FileError naming shown.
intptr_t OpenOnTheWay(intptr_t parent, std::u16string_view name, bool last,
                      const std::u16string& shown, bool& strange);
// Whether anyone but the administrators, the system and this account may
// change a held folder (also add to it, when contents is set); true when
// that cannot be told.
bool OthersMayChangeAt(intptr_t folder, bool contents);

// Removes the empty folder at name in a held folder (its descriptor or
// HANDLE); false when it stays.
bool RemoveEmptyFolderAt(intptr_t folder, std::u16string_view name);

}  // namespace fs_native
