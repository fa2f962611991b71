#include "pe/PeHeaders.h"

#include "common/Bytes.h"

bool IsDosHeader(std::string_view file) {
  return file.size() >= kDosHeaderSize && file[0] == 'M' && file[1] == 'Z';
}

uint32_t PeHeaderOffset(std::string_view dosHeader) {
  return GetU32(dosHeader, kPeOffsetField);
}

bool IsPeSignature(std::string_view nt) {
  return nt.substr(0, 4) == std::string_view("PE\0\0", 4);
}

TFileHeader ReadFileHeader(std::string_view nt) {
  return {GetU16(nt, 4), GetU16(nt, 6), GetU16(nt, 20)};
}

std::optional<TOptionalLayout> OptionalLayout(uint16_t magic) {
  if (magic == 0x10B)
    return TOptionalLayout{false, 92, 96};
  if (magic == 0x20B)
    return TOptionalLayout{true, 108, 112};
  return std::nullopt;
}

TDataDirectory ReadDirectory(std::string_view optional, const TOptionalLayout& layout,
                             size_t index) {
  const size_t at = layout.directoriesAt + 8 * index;
  return {GetU32(optional, at), GetU32(optional, at + 4)};
}
