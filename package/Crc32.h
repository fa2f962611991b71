// The CRC-32 check value (zlib's) of the installed-file list and of the
// journal's lines.
#pragma once

#include <cstdint>
#include <string_view>

uint32_t Crc32(std::string_view bytes);
