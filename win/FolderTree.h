// Folders opened once and held, and the files made in them, all named
// relative to a held folder's handle by the system's native calls (the one
// table of win/Api.h), so that no path is looked up twice.
//
// A held folder is opened without following a link at its own name and
// without FILE_SHARE_DELETE: while it is open nobody can rename or delete
// it, and the file system refuses to rename a folder above it that holds
// an open file. A link is a mount point (junction) or a symbolic link, told
// by its reparse tag; other reparse points (cloud placeholders, deduplicated
// files) are files and folders like any other.
//
// The race that remains: whoever may write into a held folder can still
// add, rename or delete its entries, so a file's name is looked at (FolderTree::Look) and then
// replaced in two steps: a link planted at the name in between is replaced
// itself, never written through.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "win/Handle.h"

namespace win {

// Whether a reparse tag makes a link (a mount point or a symbolic link).
bool IsLinkTag(ULONG tag);

// What stands at a name in a held folder, looked at without following it.
struct Found {
  bool exists = false;
  bool folder = false;
  bool link = false;
  bool readOnly = false;
};

// NtCreateFile relative to root (nullptr: name is a whole path in the
// system's own form, "\??\C:\..."). Returns the native status; on success h
// holds the handle and created tells whether it was made.
LONG OpenAt(HANDLE root, std::u16string_view name, ACCESS_MASK access, ULONG share,
            ULONG disposition, ULONG options, void* securityDescriptor, Handle& h,
            bool* created = nullptr);

// The attributes and reparse tag of an open file or folder; false when the
// system cannot tell.
bool QueryTag(HANDLE h, ULONG& attributes, ULONG& tag);

// Opens a folder to hold, relative to parent, without following a link at
// name. When create is set a missing folder is made, with the descriptor
// NewFolderSecurity (win/Security.h) gives for parent, and made tells
// whether it was. Returns the native status; link tells a link met at name
// (then h holds nothing).
LONG OpenHeldFolder(HANDLE parent, std::u16string_view name, bool create, Handle& h, bool& link,
                    bool* made = nullptr);

// Opens the folder at name in parent to hold it as OpenHeldFolder does, but
// following a link at name. Returns the status.
LONG OpenFolderFollowing(HANDLE parent, std::u16string_view name, Handle& h);

// Whether the link at name in folder (the link itself) belongs to SYSTEM,
// Administrators or TrustedInstaller; false when that cannot be told.
bool LinkOwnedByAdministrators(HANDLE folder, std::u16string_view name);

// How HoldFileAt holds a file.
enum class FileHold {
  // Others may go on using it.
  kShared,
  // For writing too, and nobody else may write or delete it meanwhile,
  // which fails for a running program's image and for a file another
  // program holds open.
  kExclusive,
  // Others may only read it, and it is deleted when the last handle to
  // this open closes.
  kUntilClosed,
};
// Opens the file at name in folder (a link itself, never followed) for
// reading (its descriptor too), renaming and deleting. Returns the status.
LONG HoldFileAt(HANDLE folder, std::u16string_view name, FileHold how, Handle& h);

// Opens an existing folder by its whole path to hold, following links (the
// folders above a destination are the system's business).
Handle OpenFolderByPath(std::u16string_view path);

// Looks at name in folder without following it.
Found LookAt(HANDLE folder, std::u16string_view name);

// A new file of name in folder, made exclusively (never what exists), open
// for writing and deleting; nobody else may open it. Returns the status.
LONG CreateNewAt(HANDLE folder, std::u16string_view name, Handle& h);

// Moves an open file to name in folder through its own handle: over what
// is there (a file, or a link itself) when replace is set, else only when
// nothing is. Returns the status (STATUS_OBJECT_NAME_COLLISION: something
// is there and was kept).
LONG RenameAt(HANDLE file, HANDLE folder, std::u16string_view name, bool replace);

// Removes the folder or link to a folder at name in folder (the link
// itself); false when it cannot (a folder with something in it).
bool RemoveFolderAt(HANDLE folder, std::u16string_view name);

// Marks an open file for deletion when its last handle closes.
bool DeleteThrough(HANDLE file);

// Whether two open files are one: the same volume and the same file index.
bool SameFileAs(HANDLE a, HANDLE b);

inline constexpr LONG kStatusObjectNameCollision = static_cast<LONG>(0xC0000035);
inline constexpr LONG kStatusObjectNameNotFound = static_cast<LONG>(0xC0000034);
inline constexpr LONG kStatusObjectPathNotFound = static_cast<LONG>(0xC000003A);
inline constexpr LONG kStatusNotADirectory = static_cast<LONG>(0xC0000103);

}  // namespace win
