// The build's fast streaming inflater, where it has one: ISA-L's, whose
// x86_64 assembly inflates about three times as fast as zlib with fixed
// buffers (InflateFast_isal.cpp). The i686 build has none
// (InflateFast_none.cpp): ISA-L has only its portable C code there, which is
// no faster than zlib.
//
// It takes only what it can finish soundly; package/Inflate.h settles every
// other body through zlib (InflateStreamFast).
#pragma once

#include <cstdint>

#include "package/Inflate.h"

bool HaveFastInflater();

// The fast inflater's scratch (TFastScratch, package/Inflate.h).
TFastScratchPtr MakeFastScratch();

struct TFastOutcome {
  // The body gave exactly its unpacked size, its stream ended there with its
  // check value right and, read exactly, at its stored size.
  bool finished = false;
  // The bytes given to output, a prefix of the body's.
  int64_t given = 0;
};

// Inflates the body from input into output with fixed buffers. Stops without
// finishing at anything it does not take: a header zlib would refuse, a
// broken stream, a wrong check value, a stream that gives more or fewer
// bytes than unpacked, input that runs out, bytes left after the stream
// when read exactly. Passes on what output raises; raises nothing itself
// but a failed allocation.
// scratch, when given, is used instead of buffers of the call's own.
TFastOutcome InflateFast(const TInflateInput& input, int64_t unpacked, const TInflateOutput& output,
                         TBodyEnd end, TFastScratch* scratch = nullptr);

// One piece of a body's stream inflated with nothing before it (the body's
// zlib header first when zlibHeader is set), into out, which has room for
// `room` bytes.
struct TPieceOutcome {
  enum class Kind {
    // Not taken: a bad stream, a look back past the piece's start, output
    // beyond room, input ending inside a block, a header zlib would refuse,
    // or no fast inflater.
    kNone,
    // The input ended exactly where a block ends, on a byte boundary, and
    // the stream goes on.
    kAtBlock,
    // The stream's last block ended; the check value follows at trailerAt.
    kLast,
  };
  Kind kind = Kind::kNone;
  size_t got = 0;      // bytes in out
  uint32_t adler = 1;  // Adler-32 of those bytes
  size_t trailerAt = 0;
};
TPieceOutcome InflatePiece(const uint8_t* in, size_t size, bool zlibHeader, uint8_t* out,
                           size_t room);
