// Inflating the bodies of a package. A body is one zlib stream, its stored
// size long, that gives its unpacked size. The bytes it would give beyond
// that size are neither produced nor examined; a body that gives exactly that
// size must end there, with its Adler-32 check value right.
//
// A body within the bound is read whole and inflated in one call by
// libdeflate, about twice as fast as zlib; a larger one streams through zlib
// with fixed buffers, so memory stays bounded whatever the size of a file.
// Both ways accept and refuse the same bodies and give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class InFile;
class OutFile;

struct TInflateBound {
  // The largest body inflated whole: its stored and its unpacked bytes are
  // both held in memory.
  int64_t stored = (8 << 20) + (64 << 10);
  int64_t unpacked = 8 << 20;
};

// Gives the next input bytes into buffer (at most size); 0 when there are
// no more.
using TInflateInput = std::function<size_t(uint8_t* buffer, size_t size)>;
// Takes the next output bytes.
using TInflateOutput = std::function<void(const uint8_t* data, size_t size)>;

// The streaming way: zlib over fixed buffers. Raises PackageReadError.
void InflateStream(const TInflateInput& input, int64_t unpacked, const TInflateOutput& output);

// A buffer for a body within the bound. It grows without copying what it
// held (the old block goes first) and is never cleared, so only the bytes a
// body fills are ever touched.
class TBodyBuffer {
 public:
  TBodyBuffer() = default;
  TBodyBuffer(TBodyBuffer&& other) noexcept { *this = std::move(other); }
  TBodyBuffer& operator=(TBodyBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }
  uint8_t* Fit(size_t size);
  uint8_t* data() const { return data_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0;
  size_t size_ = 0;
};

class TBodyInflater {
 public:
  explicit TBodyInflater(TInflateBound bound = {});
  ~TBodyInflater();
  TBodyInflater(const TBodyInflater&) = delete;
  TBodyInflater& operator=(const TBodyInflater&) = delete;

  bool FitsWhole(int64_t stored, int64_t unpacked) const;

  // Inflates the body of `stored` bytes at the package's read position into
  // out, exactly `unpacked` bytes, and leaves the read position after the
  // body when it is sound. Raises PackageReadError for a bad or short body,
  // FileError for a failed write.
  void Inflate(InFile& package, int64_t stored, int64_t unpacked, OutFile& out);

  // The whole way on bytes in memory: fills out with exactly `unpacked`
  // bytes. Raises PackageReadError.
  void InflateWhole(const uint8_t* in, size_t stored, uint8_t* out, size_t unpacked);

 private:
  struct Decompressor;
  TInflateBound bound_;
  std::unique_ptr<Decompressor> decompressor_;
  TBodyBuffer in_;
  TBodyBuffer out_;
};

struct TBodySpan {
  int64_t offset = 0;
  int64_t stored = 0;
  int64_t unpacked = 0;
};

// The bodies of a package, asked for in their order (bodies that are not
// wanted are passed over). With readAhead, where the build has threads, a
// second thread reads and inflates the next bodies within the bound while
// the last one is written: two output buffers and one input buffer at most,
// so memory stays bounded. A body above the bound is streamed by the asking
// thread while the other waits. Without it, everything happens on the
// asking thread.
class TBodyQueue {
 public:
  TBodyQueue(InFile& package, std::vector<TBodySpan> bodies, TInflateBound bound, bool readAhead);
  ~TBodyQueue();
  TBodyQueue(const TBodyQueue&) = delete;
  TBodyQueue& operator=(const TBodyQueue&) = delete;

  // Inflates body i into out, as TBodyInflater::Inflate does. i grows from
  // one call to the next.
  void Inflate(size_t i, OutFile& out);

  // Whether readAhead can use a second thread in this build.
  static bool Threaded();

 private:
  struct Ahead;
  InFile& package_;
  std::vector<TBodySpan> bodies_;
  TBodyInflater inflater_;
  std::unique_ptr<Ahead> ahead_;
};

// One body in memory, inflated the whole way (when it is within the bound)
// or the streaming way. For tests and fuzzing.
std::string InflateBody(std::string_view body, int64_t unpacked, bool whole);
