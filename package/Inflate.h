// Inflating the bodies of a package. A body is one zlib stream, its stored
// size long, that gives its unpacked size. The extractor and `verify` read
// bodies by the same code and differ only in how a body must end
// (TBodyEnd).
//
// Where the build has a fast streaming inflater (package/InflateFast.h:
// ISA-L's, in the x86_64 builds), every body streams through it with fixed
// buffers: it is as fast as inflating a body whole, faster once the body's
// bytes are written out, and needs no room for whole bodies. Elsewhere (the
// i686 build) a body within the bound is read whole and inflated in one
// call by libdeflate, about twice as fast as zlib, and a larger one streams
// through zlib with fixed buffers. Either way memory stays bounded whatever
// the size of a file.
//
// Every way gives the same bytes and refuses the same bodies with the same
// words: a body the whole or the fast way does not take is inflated again by
// zlib, which settles it and names what is wrong. (One difference is left: a
// deflate block whose Huffman code leaves some codes unassigned, which zlib
// refuses as it reads the block's header, is taken by the fast inflater when
// the block's data never uses the missing codes. No compressor writes such a
// block; its bytes are the ones the data spells out and its check value is
// checked as ever.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class InFile;
// What the fast inflater (package/InflateFast.h) keeps from one body to the
// next on one thread: its buffers and state. Made anew for each body they
// cost a page fault for each page touched, every body again (under Wine
// every block this large is mapped and unmapped by itself).
struct TFastScratch;
struct TFastScratchDeleter {
  void operator()(TFastScratch* scratch) const;
};
using TFastScratchPtr = std::unique_ptr<TFastScratch, TFastScratchDeleter>;

struct TInflateBound {
  // The largest body inflated whole, where the build has no fast inflater:
  // its stored and its unpacked bytes are both held in memory, so together
  // they set the peak.
  int64_t stored = (10 << 20) + (64 << 10);
  int64_t unpacked = 10 << 20;
};

// How a body must end.
enum class TBodyEnd {
  // As the extractor reads it: the stream gives exactly the unpacked size
  // and ends there, with its Adler-32 check value right; stored bytes after
  // its end are not examined. (An empty file's body is not read at all.)
  Extract,
  // As `verify` reads it: the stream ends, check value right, exactly at
  // the unpacked size and exactly at the stored size.
  Exact,
};

// Gives the next input bytes into buffer (at most size); 0 when there are
// no more.
using TInflateInput = std::function<size_t(uint8_t* buffer, size_t size)>;
// Takes the next output bytes.
using TInflateOutput = std::function<void(const uint8_t* data, size_t size)>;

// An output that drops the first `bytes` bytes and gives the rest to output
// (which it refers to, so it must outlive it):
// for a body inflated again from its start after some of it was given.
TInflateOutput SkipFirst(int64_t bytes, const TInflateOutput& output);

// The streaming way: zlib over fixed buffers. Raises PackageReadError.
void InflateStream(const TInflateInput& input, int64_t unpacked, const TInflateOutput& output,
                   TBodyEnd end = TBodyEnd::Extract);

// The fast streaming way: the build's fast inflater takes every body it can
// finish soundly; any other is read again from its start (rewind puts input
// back at the body's first byte) by InflateStream, which settles the outcome
// and gives output only the bytes not given yet. Without a fast inflater it
// is InflateStream. Raises PackageReadError.
// scratch, when given, is the fast inflater's (package/InflateFast.h).
void InflateStreamFast(const TInflateInput& input, const std::function<void()>& rewind,
                       int64_t unpacked, const TInflateOutput& output,
                       TBodyEnd end = TBodyEnd::Extract, TFastScratch* scratch = nullptr);

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

  // Inflates the body of `stored` bytes at the package's read position,
  // giving output exactly `unpacked` bytes (in one piece when it is inflated
  // whole: within the bound, where the build has no fast inflater). Raises PackageReadError for a
  // bad or short body, and passes on what output raises. An output that keeps nothing checks the
  // body.
  void Inflate(InFile& package, int64_t stored, int64_t unpacked, const TInflateOutput& output,
               TBodyEnd end = TBodyEnd::Extract);

  // The whole way on bytes in memory: fills out with exactly `unpacked`
  // bytes. Raises PackageReadError.
  void InflateWhole(const uint8_t* in, size_t stored, uint8_t* out, size_t unpacked,
                    TBodyEnd end = TBodyEnd::Extract);

 private:
  struct Decompressor;
  TInflateBound bound_;
  std::unique_ptr<Decompressor> decompressor_;
  TBodyBuffer in_;
  TBodyBuffer out_;
  TFastScratchPtr fast_;
};

// The ways a body can be inflated, for tests and fuzzing to compare.
enum class TInflateWay {
  Whole,   // in one call, as a body within the bound is
  Zlib,    // streaming through zlib
  Fast,    // streaming through the fast inflater, zlib settling the rest
  Pieces,  // cut into pieces inflated on their own and joined, as a large
           // body on several threads (package/BodyPieces.h); Fast settling
           // what does not join
};

// One body in memory, inflated one way. For tests and fuzzing.
std::string InflateBody(std::string_view body, int64_t unpacked, TInflateWay way,
                        TBodyEnd end = TBodyEnd::Extract);
