// Where a package row's file goes: the one rule for turning a row's folder
// cell (cell 0) and name cell (cell 1) into a folder and a file name, and for
// refusing the names Windows treats specially. The extractor places files by
// it and the uninstaller finds them again by it, so both always agree.
//
// The rule:
//  - "\" and "/" both separate the parts of a path, and a run of them counts
//    as one (as Windows reads it); the results use a single "\".
//  - The name cell's file name is its last part: what follows its last "\"
//    or "/", and a leading drive ("c:y.txt" names "y.txt"). What comes
//    before it in the cell names no folder of the row's file.
//  - The file's path relative to the row's base folder (the destination, or
//    the system directory for a system row) is the folder text followed by
//    that file name, as plain text: a folder text "bin\" gives "bin\x.dll",
//    a folder text "bin" gives "binx.dll". The path's last part is the file,
//    every part before it a folder.
//  - Refused, in any letter case, in every part of the folder text and in
//    the file name:
//      * a path that is not relative: one that begins with "\" or "/", or
//        holds ":" (a drive, or an alternate data stream such as
//        "a.txt:s" or "a.txt::$DATA");
//      * "." and "..", and any part ending in a dot or a blank (Windows
//        drops those, so "a." and "a " name "a" and "..." names "..");
//      * a device name: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9,
//        LPT0-LPT9 and COM/LPT with a superscript 1, 2 or 3, alone or
//        followed by an extension or blanks ("nul.txt", "Com1 .log");
//      * the characters < > " | ? * and the control characters.
//
// Every function here is portable and raises PackageReadError with a message
// that quotes the cell and says what is wrong.
#pragma once

#include <string>
#include <string_view>

struct TRowPlace {
  std::u16string folder;  // relative to the base folder: "" or "a\b\" (ending in "\")
  std::u16string file;    // the file's name in that folder, never empty
  std::u16string Path() const { return folder + file; }
};

// The name cell's file name (the last part, see above), unchecked.
std::u16string NameFilePart(std::u16string_view name);

// The place of a row's file. folder is the folder text relative to the base
// folder: cell 0 of an ordinary row, empty for a row that goes straight into
// the destination, and for a system row what SystemFolderRest leaves of it.
// Raises PackageReadError when the folder text or the name is refused.
TRowPlace PlaceRowFile(std::u16string_view folder, std::u16string_view name);

// For a system row (cell 0 begins with "$"): cell 0 with every "$System$"
// (when cell 0 holds "System" in exactly this letter case) or else every
// "$Third$" replaced by systemDir (letter case ignored in the search), and
// what follows systemDir in the result (separators right after it dropped):
// the folder text relative to the system directory, to hand to PlaceRowFile.
// systemDir ends in "\". Raises PackageReadError when cell 0 holds no token,
// when the result does not begin with systemDir, or when a folder in what
// follows it is refused.
std::u16string SystemFolderRest(std::u16string_view folder, std::u16string_view systemDir);

// Whether one part of a path is a device name (see above).
bool IsDeviceName(std::u16string_view part);

// Why one part of a path (no separators in it) is refused; empty when it is
// a usable name.
std::u16string RefusedPartReason(std::u16string_view part);
