#include "package/ZStream.h"

#include "common/Errors.h"

ZStream::ZStream(Wrap wrap) {
  if (inflateInit2(&zs_, wrap == Wrap::kRaw ? -MAX_WBITS : MAX_WBITS) != Z_OK)
    throw Error(u"zlib cannot start");
}

ZStream::~ZStream() {
  inflateEnd(&zs_);
}
