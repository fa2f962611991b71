// The text of a byte count as the user sees it: "1023 Bytes", "2 KB",
// "1.2 MB", "101 GB". Negative counts stay in bytes.
#pragma once

#include <cstdint>
#include <string>

std::u16string FormatByteSize(int64_t Size);
