#include "package/PeSignature.h"

#include <cstring>
#include <string>

#include "common/Bytes.h"
#include "pe/PeHeaders.h"

std::optional<TSignatureTable> FindSignatureTable(
    int64_t size, const std::function<void(int64_t offset, char* buffer, size_t count)>& readAt) {
  std::string dos(kDosHeaderSize, '\0');
  if (size < static_cast<int64_t>(dos.size()))
    return std::nullopt;
  readAt(0, dos.data(), dos.size());
  if (!IsDosHeader(dos))
    return std::nullopt;
  const int64_t pe = PeHeaderOffset(dos);
  // Signature, file header, optional header up to the security entry's end
  // in the larger kind.
  std::string head(kNtHeadersSize + 112 + 8 * (kSecurityDirectory + 1), '\0');
  if (pe + static_cast<int64_t>(head.size()) > size)
    return std::nullopt;
  readAt(pe, head.data(), head.size());
  if (!IsPeSignature(head))
    return std::nullopt;
  const std::string_view opt = std::string_view(head).substr(kNtHeadersSize);
  const std::optional<TOptionalLayout> layout = OptionalLayout(GetU16(opt, 0));
  if (!layout)
    return std::nullopt;
  const size_t entryEnd = layout->directoriesAt + 8 * (kSecurityDirectory + 1);
  if (GetU32(opt, layout->directoryCountAt) <= kSecurityDirectory ||
      ReadFileHeader(head).optionalSize < entryEnd)
    return std::nullopt;
  const TDataDirectory table = ReadDirectory(opt, *layout, kSecurityDirectory);
  const int64_t offset = table.rva;  // a file offset in this one entry
  const int64_t length = table.size;
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
