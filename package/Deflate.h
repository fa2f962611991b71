// Compressing bodies. A body is one zlib stream; it is made of pieces of at
// most kPieceSize bytes, each compressed on its own by libdeflate, so that
// pieces can be compressed on several threads with memory that does not
// grow with the size of a file. A piece that is not a body's last ends on a
// byte boundary with an empty stored block (as a zlib sync flush does), its
// last block no longer marked last, so that the next piece's blocks follow
// it in the same stream. The bytes depend only on the input and the level:
// the same on every system and with any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr size_t kPieceSize = size_t{1} << 20;

// libdeflate's levels: 1 the fastest, 12 the smallest.
constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 12;

struct TPiece {
  std::unique_ptr<uint8_t[]> in;
  size_t inSize = 0;
  bool first = false;  // the stream's header goes before it
  bool last = false;   // it ends the stream's data (the check value follows)
  // What Compress gives: the piece's part of the stream, and the Adler-32
  // of its input alone (combined in order by TBodyCheck).
  std::unique_ptr<uint8_t[]> out;
  size_t outSize = 0;
  uint32_t adler = 1;
};

// One per thread.
class TPieceCompressor {
 public:
  explicit TPieceCompressor(int level);
  ~TPieceCompressor();
  TPieceCompressor(const TPieceCompressor&) = delete;
  TPieceCompressor& operator=(const TPieceCompressor&) = delete;

  // Fills piece.out and piece.adler, and lets go of piece.in.
  void Compress(TPiece& piece);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The Adler-32 of a body, from its pieces' in order.
class TBodyCheck {
 public:
  void Add(uint32_t adler, size_t size);
  // The 4 bytes that end the stream.
  void Trailer(uint8_t out[4]) const;

 private:
  uint32_t adler_ = 1;
};
