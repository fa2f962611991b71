// The rules of this system's paths: "\"-separated UTF-16 texts as Windows
// spells them, split, joined and compared the same way everywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "\" and "/", both of which Windows reads as a separator.
bool IsPathSeparator(char16_t c);

// The levels of a "\"-separated path, without empty ones ("a\\b\": "a",
// "b"; "a\b": "a", "b").
std::vector<std::u16string> PathLevels(std::u16string_view path);

// A path cut at its last "\": the folder up to and including it ("" when
// there is none) and the name after it.
struct TPathSplit {
  std::u16string folder;
  std::u16string name;
};
TPathSplit SplitPath(std::u16string_view path);

// The directory part of a path: up to and including its last "\" or ":".
std::u16string ExtractFileDir(const std::u16string& path);
// The name part: after the last "\" or ":".
std::u16string ExtractFileName(const std::u16string& path);
// The extension, from the last "." after the last "\" or ":", replaced.
std::u16string ChangeFileExt(const std::u16string& path, const std::u16string& ext);
// The folder of a path that may be spelled with "/" as well: up to and
// including its last "\" or "/" ("" when there is none).
std::u16string ParentFolder(std::u16string_view path);

// A folder path ending in a separator: "\" added unless it ends in "\" or
// "/".
std::u16string AsFolder(std::u16string path);

// Paths compared with the letters a-z and A-Z alike, every other character
// as it is: the rule of a package's rows and of the uninstaller's plan.
bool SamePath(std::u16string_view a, std::u16string_view b);
// The key under which SamePath finds two paths alike.
std::u16string PathKey(std::u16string_view path);
// Whether path lies inside folder (which ends in "\"), by SamePath's rule.
bool LiesIn(std::u16string_view path, std::u16string_view folder);
