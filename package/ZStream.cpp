#include "package/ZStream.h"

#include "common/Errors.h"

ZStream::ZStream() {
  if (inflateInit(&zs_) != Z_OK)
    throw Error(u"zlib cannot start");
}

ZStream::ZStream(int level) : deflating_(true) {
  if (deflateInit(&zs_, level) != Z_OK)
    throw Error(u"zlib cannot start");
}

ZStream::~ZStream() {
  if (deflating_)
    deflateEnd(&zs_);
  else
    inflateEnd(&zs_);
}
