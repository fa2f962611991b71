// The one holder of a zlib stream, inflating or deflating: started on
// construction, ended on destruction.
#pragma once

#include <zlib.h>

class ZStream {
 public:
  // An inflating stream (a zlib header and check value).
  ZStream();
  // A deflating stream at level (0 to 9).
  explicit ZStream(int level);
  ~ZStream();
  ZStream(const ZStream&) = delete;
  ZStream& operator=(const ZStream&) = delete;

  z_stream* operator->() { return &zs_; }
  z_stream* get() { return &zs_; }

 private:
  z_stream zs_{};
  bool deflating_ = false;
};
