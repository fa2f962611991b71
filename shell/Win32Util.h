// The parts of a Windows path.
#pragma once

#include <string>

// The directory part of a path: up to and including its last "\" or ":".
std::u16string ExtractFileDir(const std::u16string& path);
// The name part: after the last "\" or ":".
std::u16string ExtractFileName(const std::u16string& path);
// The extension, from the last "." after the last "\" or ":", replaced.
std::u16string ChangeFileExt(const std::u16string& path, const std::u16string& ext);
