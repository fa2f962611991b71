#include "package/PeSignature.h"

#include <cstring>
#include <string>

namespace {

uint32_t U32(const char* p) {
  return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24;
}

uint16_t U16(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}

constexpr int kSecurityEntry = 4;

}  // namespace

std::optional<TSignatureTable> FindSignatureTable(
    int64_t size, const std::function<void(int64_t offset, char* buffer, size_t count)>& readAt) {
  char dos[64];
  if (size < static_cast<int64_t>(sizeof dos))
    return std::nullopt;
  readAt(0, dos, sizeof dos);
  if (dos[0] != 'M' || dos[1] != 'Z')
    return std::nullopt;
  const int64_t pe = U32(dos + 0x3C);
  // Signature, file header (20 bytes), optional header up to its directories.
  char head[4 + 20 + 112 + 8 * (kSecurityEntry + 1)];
  if (pe + static_cast<int64_t>(sizeof head) > size)
    return std::nullopt;
  readAt(pe, head, sizeof head);
  if (std::memcmp(head, "PE\0\0", 4) != 0)
    return std::nullopt;
  const char* opt = head + 24;
  const uint16_t optSize = U16(head + 4 + 16);
  const uint16_t magic = U16(opt);
  size_t countAt = 0, dirsAt = 0;
  if (magic == 0x10B) {
    countAt = 92;
    dirsAt = 96;
  } else if (magic == 0x20B) {
    countAt = 108;
    dirsAt = 112;
  } else {
    return std::nullopt;
  }
  const size_t entryEnd = dirsAt + 8 * (kSecurityEntry + 1);
  if (U32(opt + countAt) <= kSecurityEntry || optSize < entryEnd)
    return std::nullopt;
  const int64_t offset = U32(opt + dirsAt + 8 * kSecurityEntry);
  const int64_t length = U32(opt + dirsAt + 8 * kSecurityEntry + 4);
  if (offset == 0 || length == 0 || offset + length != size)
    return std::nullopt;
  return TSignatureTable{offset, length};
}

std::optional<TSignatureTable> FindSignatureTable(std::string_view fileBytes) {
  return FindSignatureTable(static_cast<int64_t>(fileBytes.size()),
                            [&](int64_t offset, char* buffer, size_t count) {
                              std::memcpy(buffer, fileBytes.data() + offset, count);
                            });
}
