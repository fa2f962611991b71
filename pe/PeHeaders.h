// The headers every Windows program starts with: the DOS header, which
// names where the PE signature lies; the signature and the file header; the
// optional header of a 32-bit or a 64-bit program, ending in the data
// directories. Read here for everything that looks into a program: the
// image editor (PeImage.h) and the search for a signature's table. Nothing
// here checks more than the bytes it reads; the callers hold the rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The DOS header's size, and where in it the PE signature's offset lies.
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kPeOffsetField = 0x3C;
// The signature "PE\0\0" and the file header; the optional header follows.
constexpr size_t kNtHeadersSize = 24;

struct TDataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

enum TPeDirectory {
  kExportDirectory = 0,
  kImportDirectory = 1,
  kResourceDirectory = 2,
  kSecurityDirectory = 4,
  kRelocationDirectory = 5
};

struct TFileHeader {
  uint16_t machine = 0;
  uint16_t sectionCount = 0;
  uint16_t optionalSize = 0;
};

// Where an optional header of one kind keeps the count of its data
// directories and the directories themselves, from its start.
struct TOptionalLayout {
  bool is64 = false;
  size_t directoryCountAt = 0;
  size_t directoriesAt = 0;
};

// Whether the file's first bytes are a whole DOS header ("MZ").
bool IsDosHeader(std::string_view file);
// The offset of the PE signature that a DOS header names.
uint32_t PeHeaderOffset(std::string_view dosHeader);
// Whether bytes start with the PE signature.
bool IsPeSignature(std::string_view nt);
// The file header after the signature; nt holds kNtHeadersSize bytes.
TFileHeader ReadFileHeader(std::string_view nt);
// The layout of the optional header that starts with magic (0x10B a 32-bit
// program's, 0x20B a 64-bit one's); nothing for any other.
std::optional<TOptionalLayout> OptionalLayout(uint16_t magic);
// Data directory `index` of an optional header (which holds it).
TDataDirectory ReadDirectory(std::string_view optional, const TOptionalLayout& layout,
                             size_t index);
