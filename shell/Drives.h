// Drives, their free space, the user's decimal separator for showing sizes,
// and the system directory.
#pragma once

#include <cstdint>
#include <string>

// Free bytes available to the caller on the drive of that letter; -1 when the
// query fails.
int64_t DriveFreeSpace(char16_t DriveLetter);
// The decimal separator of the user's locale ("," for German), for
// FormatByteSize; "." when the locale gives none.
std::u16string UserDecimalSeparator();
// The upper-case letters of all fixed drives, in order ("CD").
std::u16string GetFixedDrives();
// The system directory with a trailing "\"; empty on failure.
std::u16string GetSystemDir();
