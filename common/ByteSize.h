// The text of a byte count as the user sees it: "1023 Bytes", "2 KB",
// "1.2 MB", "101 GB". Negative counts stay in bytes. The tenths follow the
// decimal separator given: the user's locale's on Windows
// (UserDecimalSeparator in shell/Drives.h), "1,2 MB" under a German one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

std::u16string FormatByteSize(int64_t Size, std::u16string_view decimalSeparator = u".");
