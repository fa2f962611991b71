// One large body inflated on several threads.
//
// A compressor that flushes (stp pack ends every 1 MiB of input with an
// empty stored block) leaves points in the stream where a block starts on a
// byte boundary, each right after the bytes 00 00 FF FF. From such a point
// the stream can be inflated with nothing before it, unless it looks back
// past the point, which the inflater then refuses. The cutter cuts the
// stored bytes at such points; each piece is inflated on its own, on any
// thread; the join takes the pieces in order and gives a piece's bytes only
// where the piece before ended exactly at a block boundary at its first
// byte. The bytes given are then exactly those of inflating the body from
// its start, whatever bytes merely looked like a point: a body made by any
// other compressor costs time, never a different result.
//
// What the join does not finish (a body that is not sound, or whose pieces
// do not join) is inflated again from its start the usual way
// (TBodyInflater), which settles it with the usual words, giving only the
// bytes after those the join gave.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "package/Deflate.h"
#include "package/Inflate.h"
#include "package/InflateFast.h"

// A piece's stored bytes, and what inflating them gave.
struct TBodyPiece {
  int64_t start = 0;  // offset in the body's stored bytes
  bool first = false;
  bool last = false;
  std::vector<uint8_t> in;
  std::unique_ptr<uint8_t[]> out;
  TPieceOutcome outcome;

  // On any thread.
  void Inflate();
};

// Output room of a piece. stp pack's points lie at most 1 MiB of output
// apart; a piece spans at most TCutBound::points of them.
inline constexpr size_t kPieceRoom = 4 << 20;

// Reads exactly size stored bytes of the body from offset at.
using TReadAt = std::function<void(int64_t at, uint8_t* buffer, size_t size)>;

// Where pieces are cut: at the first point at least `least` stored bytes
// from the piece's start, or at the `points`th, never beyond `most`.
struct TCutBound {
  size_t least = 256 << 10;
  size_t most = 2 << 20;
  int points = 4;
};

// Reads a body's stored bytes and cuts them into pieces, on one thread.
class TBodyCutter {
 public:
  TBodyCutter(TReadAt read, int64_t stored, TCutBound bound = {});
  // The next piece, with its output room from spare (or new); null when the
  // body is all cut, and from then on when no point lies within reach.
  std::unique_ptr<TBodyPiece> Next(std::vector<std::unique_ptr<uint8_t[]>>& spare);

 private:
  // Reads more of the body after what is held; false at its end.
  bool ReadMore();
  TReadAt read_;
  int64_t stored_;
  TCutBound bound_;
  size_t Held() const { return end_ - begin_; }
  // Stored bytes from heldAt_ on, in buffer_[begin_, end_).
  std::unique_ptr<uint8_t[]> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  int64_t heldAt_ = 0;
  bool stuck_ = false;
};

// Takes pieces in order and gives their bytes to output. Pieces may be
// taken on different threads, one after the other; whether the join is
// broken or finished may be asked on any thread meanwhile.
class TBodyJoin {
 public:
  TBodyJoin(int64_t unpacked, TBodyEnd end) : unpacked_(unpacked), end_(end) {}
  // Gives the piece's bytes when it joins; once one does not, none after.
  void Take(const TBodyPiece& piece, const TInflateOutput& output);
  // The body inflated whole and right: its unpacked size, its stream ended
  // and its check value right, at the stored size when read exactly.
  bool Finished() const { return finished_.load(); }
  // A piece did not join: the body is to be inflated again.
  bool Broken() const { return broken_.load(); }
  int64_t Given() const { return given_; }

 private:
  int64_t unpacked_;
  TBodyEnd end_;
  int64_t given_ = 0;
  int64_t next_ = 0;  // where the next piece must start, at a block boundary
  TBodyCheck check_;
  std::atomic<bool> broken_ = false;
  std::atomic<bool> finished_ = false;
};

// One body in memory cut at every point (no further apart than 64 KiB) and
// joined by join piece after piece, which gives output its bytes: the way
// the extractor takes a large body, for tests and fuzzing (InflateBody
// settles what the join leaves).
void JoinInMemory(std::string_view body, TBodyJoin& join, const TInflateOutput& output);
