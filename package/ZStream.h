// The one holder of a zlib stream, inflating: started on construction,
// ended on destruction.
#pragma once

#include <zlib.h>

class ZStream {
 public:
  enum class Wrap {
    kZlib,  // a zlib header and check value around the deflate data
    kRaw,   // the deflate data alone
  };
  explicit ZStream(Wrap wrap = Wrap::kZlib);
  ~ZStream();
  ZStream(const ZStream&) = delete;
  ZStream& operator=(const ZStream&) = delete;

  z_stream* operator->() { return &zs_; }
  z_stream* get() { return &zs_; }

 private:
  z_stream zs_{};
};
