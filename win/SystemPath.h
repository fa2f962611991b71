// Paths as the system itself reads them: made whole, and compared.
#pragma once

#include <string>
#include <string_view>

// GetFullPathNameW: "/" for "\", doubled separators and "." and ".." parts
// resolved; path itself when the system cannot.
std::u16string ExpandFileName(const std::u16string& path);

// Names compared as the system compares them (lstrcmpi), with its own case
// table: every letter it knows, not a-z alone as SamePath (common/Path.h).
bool SystemSameName(std::u16string_view a, std::u16string_view b);
