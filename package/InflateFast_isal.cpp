#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <memory>

#include "package/InflateFast.h"

namespace {

constexpr size_t kInChunk = 256 << 10;
constexpr size_t kOutChunk = 1 << 20;

// The two bytes before the deflate data as zlib takes them: deflate, a
// window of at most 32 KiB, no preset dictionary, the header's own check.
// ISA-L does not look at the window size, so this is checked first.
bool PlainZlibHeader(const uint8_t* h) {
  return (h[0] & 0x0F) == 8 && (h[0] >> 4) <= 7 && (h[1] & 0x20) == 0 &&
         ((h[0] << 8) | h[1]) % 31 == 0;
}

}  // namespace

bool HaveFastInflater() {
  return true;
}

struct TFastScratch {
  std::unique_ptr<uint8_t[]> in = std::make_unique_for_overwrite<uint8_t[]>(kInChunk);
  std::unique_ptr<uint8_t[]> out = std::make_unique_for_overwrite<uint8_t[]>(kOutChunk);
  std::unique_ptr<inflate_state> state = std::make_unique<inflate_state>();
};

void TFastScratchDeleter::operator()(TFastScratch* scratch) const {
  delete scratch;
}

TFastScratchPtr MakeFastScratch() {
  return TFastScratchPtr(new TFastScratch);
}

TFastOutcome InflateFast(const TInflateInput& input, int64_t unpacked, const TInflateOutput& output,
                         TBodyEnd end, TFastScratch* scratch) {
  TFastOutcome outcome;
  if (unpacked < 0)
    return outcome;
  TFastScratchPtr own;
  if (scratch == nullptr) {
    own = MakeFastScratch();
    scratch = own.get();
  }
  uint8_t* const in = scratch->in.get();
  size_t have = 0;
  while (have < 2) {
    const size_t n = input(in + have, kInChunk - have);
    if (n == 0)
      return outcome;
    have += n;
  }
  if (!PlainZlibHeader(in))
    return outcome;

  inflate_state* const state = scratch->state.get();
  isal_inflate_init(state);
  state->crc_flag = ISAL_ZLIB;
  state->next_in = in;
  state->avail_in = static_cast<uint32_t>(have);
  // Room for one byte more than the body gives, so that a stream that would
  // give more shows itself.
  const size_t outSize = static_cast<size_t>(std::min<int64_t>(unpacked + 1, kOutChunk));
  uint8_t* const out = scratch->out.get();
  for (;;) {
    if (state->avail_in == 0) {
      const size_t n = input(in, kInChunk);
      if (n == 0)
        return outcome;
      state->next_in = in;
      state->avail_in = static_cast<uint32_t>(n);
    }
    const size_t room =
        static_cast<size_t>(std::min<int64_t>(unpacked + 1 - outcome.given, outSize));
    state->next_out = out;
    state->avail_out = static_cast<uint32_t>(room);
    const uint32_t inBefore = state->avail_in;
    const int rc = isal_inflate(state);
    const size_t got = room - state->avail_out;
    if (rc != ISAL_DECOMP_OK || outcome.given + static_cast<int64_t>(got) > unpacked)
      return outcome;
    if (got > 0)
      output(out, got);
    outcome.given += static_cast<int64_t>(got);
    if (state->block_state == ISAL_BLOCK_FINISH)
      break;
    if (got == 0 && state->avail_in == inBefore)
      return outcome;
  }
  if (outcome.given != unpacked)
    return outcome;
  // Read exactly, no byte may follow the stream: none left in the input, none
  // in the bit buffer (where whole bytes past the check value can sit beside
  // the bits that pad the last byte of deflate data), none still to come.
  if (end == TBodyEnd::Exact &&
      (state->avail_in != 0 || state->read_in_length >= 8 || input(in, kInChunk) != 0))
    return outcome;
  outcome.finished = true;
  return outcome;
}

TPieceOutcome InflatePiece(const uint8_t* in, size_t size, bool zlibHeader, uint8_t* out,
                           size_t room) {
  TPieceOutcome outcome;
  if (zlibHeader) {
    if (size < 2 || !PlainZlibHeader(in))
      return outcome;
    in += 2;
    size -= 2;
  }
  // Raw deflate from a fresh state: a distance reaching before the piece's
  // first byte out is refused (ISAL_INVALID_LOOKBACK).
  const auto state = std::make_unique<inflate_state>();
  isal_inflate_init(state.get());
  state->crc_flag = ISAL_DEFLATE;
  state->next_in = const_cast<uint8_t*>(in);
  state->avail_in = static_cast<uint32_t>(size);
  state->next_out = out;
  state->avail_out = static_cast<uint32_t>(room);
  if (isal_inflate(state.get()) != ISAL_DECOMP_OK)
    return outcome;
  const size_t got = room - state->avail_out;
  if (state->block_state == ISAL_BLOCK_FINISH) {
    outcome.kind = TPieceOutcome::Kind::kLast;
    // Whole bytes still in the bit buffer are the check value's.
    outcome.trailerAt = (zlibHeader ? 2 : 0) + size - state->avail_in -
                        static_cast<size_t>(state->read_in_length / 8);
  } else if (state->avail_in == 0 && state->read_in_length == 0 && state->tmp_in_size == 0 &&
             (state->block_state == ISAL_BLOCK_NEW_HDR || state->block_state == ISAL_BLOCK_HDR) &&
             state->avail_out != 0) {
    // Every bit read, and the next thing the stream holds is a block's
    // header: the input ended where a block did.
    outcome.kind = TPieceOutcome::Kind::kAtBlock;
  } else {
    return outcome;
  }
  outcome.got = got;
  outcome.adler = isal_adler32(1, out, got);
  return outcome;
}
