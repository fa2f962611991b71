// The setup package: file bodies from offset 0, then the index, its 4-byte
// length and a trailer of 3, 10, 22 or 29 bytes, read from the end:
//
//   d = 2 when the byte at S-2 is 0x14, else 9
//   T = d+1 when the byte at S-(d+1) is 0x0A, else d+20
//   L = signed 32-bit little-endian at S-T-4, the index the L bytes before it
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/CodePage.h"
#include "fs/File.h"
#include "package/Errors.h"

struct TPackageIndex {
  std::u16string Text;     // the index envelope, widened with the code page
  int64_t BodiesSize = 0;  // bytes before the index: the room the bodies have
  int Trailer = 0;         // T
};

// The index of an open package, or nothing when the length field is not less
// than the package size (no usable index). Leaves the read position at 0.
// Raises PackageReadError when the package is too short for what its trailer
// announces or its length field is negative.
std::optional<TPackageIndex> ReadPackageIndex(InFile& package, const CodePage& codePage);

// The trailer bytes for T = 3, 10, 22 or 29 as a writer puts them after the
// length field (the bytes the reader does not look at are zero).
std::string MakeTrailer(int trailer);
