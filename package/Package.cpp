#include "package/Package.h"

#include <vector>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "package/Errors.h"

namespace {

uint8_t ByteAt(InFile& f, int64_t offset) {
  if (offset < 0)
    throw PackageReadError(u"the package is too short to hold its trailer");
  f.Seek(offset);
  uint8_t b = 0;
  f.ReadExact(&b, 1);
  return b;
}

}  // namespace

std::optional<TPackageIndex> ReadPackageIndex(InFile& package, const CodePage& codePage) {
  const int64_t s = package.Size();
  const int d = ByteAt(package, s - 2) == 0x14 ? 2 : 9;
  const int t = ByteAt(package, s - (d + 1)) == 0x0A ? d + 1 : d + 20;

  const int64_t lengthAt = s - t - 4;
  if (lengthAt < 0)
    throw PackageReadError(u"the package is too short to hold its index length");
  package.Seek(lengthAt);
  char raw[4];
  package.ReadExact(raw, 4);
  const int32_t l = static_cast<int32_t>(GetU32(std::string_view(raw, 4), 0));
  if (static_cast<int64_t>(l) >= s)
    return std::nullopt;
  if (l < 0)
    throw PackageReadError(u"the index length " + IntToText(l) + u" is negative");

  const int64_t indexAt = lengthAt - l;
  if (indexAt < 0) {
    throw PackageReadError(u"the index of " + IntToText(l) +
                           u" bytes does not fit before its length field");
  }
  // l < s: the buffer is never larger than the package itself.
  std::string bytes(static_cast<size_t>(l), '\0');
  package.Seek(indexAt);
  package.ReadExact(bytes.data(), bytes.size());
  package.Seek(0);

  TPackageIndex index;
  index.Text = codePage.Widen(bytes);
  index.BodiesSize = indexAt;
  index.Trailer = t;
  return index;
}

std::string MakeTrailer(int trailer) {
  switch (trailer) {
    case 3:
      return std::string("\x0A\x14\x00", 3);
    case 10:
      return std::string("\x0A", 1) + std::string(9, '\0');
    case 22:
      return std::string(20, '\0') + std::string("\x14\x00", 2);
    case 29:
      return std::string(29, '\0');
    default:
      throw Error(u"a trailer is 3, 10, 22 or 29 bytes");
  }
}
