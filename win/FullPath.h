// The whole path the system makes of a path.
#pragma once

#include <string>

// GetFullPathNameW: "/" for "\", doubled separators and "." and ".." parts
// resolved; path itself when the system cannot.
std::u16string ExpandFileName(const std::u16string& path);
