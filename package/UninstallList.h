// The list of installed files that the uninstaller carries.
//
// stp pack appends it to the copy of Uninst.exe that goes into a package, so
// the program and the list it acts on are one file: nothing beside it can go
// missing or be mixed up with another product's list, the installer needs to
// know nothing of it, and the copy the uninstaller runs from the temporary
// folder carries it along. Windows ignores bytes after a program's last
// section.
//
// Layout, at the very end of the file:
//   text    "NvUninstallList 1\n", then per row: folder TAB name TAB flag "\n"
//           (UTF-8; flag "S" for a system-directory row, "D" otherwise)
//   uint32  length of the text, little-endian
//   uint32  CRC-32 of the text, little-endian
//   8 bytes "NvUnLst" 0x1A
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct TUninstallRow {
  std::u16string folder;  // as in the package index: "" or "help\" or "$System$"
  std::u16string name;
  bool system = false;
  bool operator==(const TUninstallRow&) const = default;
};

inline constexpr size_t kUninstallFooterSize = 16;

// Whether a package row's folder stands for the system directory (the
// extractor's rule: it begins with "$").
bool IsSystemFolder(std::u16string_view folder);

// The bytes to append to the program. Raises Error naming a row whose folder
// or name holds a control character (a tab or line break would break the
// text apart).
std::string MakeUninstallList(const std::vector<TUninstallRow>& rows);

// Where a list appended to these bytes begins: their size when they end in
// none. Raises Error when a list is announced but damaged.
size_t UninstallListStart(std::string_view fileBytes);

// The list at the end of these bytes. Raises Error when there is none or it
// is damaged.
std::vector<TUninstallRow> ParseUninstallList(std::string_view fileBytes);

// The list at the end of a file of `size` bytes, reading only its tail
// through readAt(offset, buffer, count), which reads exactly count bytes or
// raises. name goes into the messages. Raises Error when the file carries no
// list or a damaged one.
std::vector<TUninstallRow> ReadUninstallList(
    int64_t size, const std::function<void(int64_t offset, char* buffer, size_t count)>& readAt,
    const std::u16string& name);
// The same for a file by path (UninstallListFile.cpp, apart so that a program
// reading its own file through the system's calls does not link the portable
// file layer); also raises FileError when the file cannot be read.
std::vector<TUninstallRow> ReadUninstallList(std::u16string_view programPath);
