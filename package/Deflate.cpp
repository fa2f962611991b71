#include "package/Deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "package/ZStream.h"

namespace {

// The zlib header libdeflate writes for a level.
void Header(int level, uint8_t out[2]) {
  out[0] = 0x78;
  out[1] = level < 2 ? 0x01 : level < 6 ? 0x5E : level == 6 ? 0x9C : 0xDA;
}

// data holds raw deflate blocks, the last marked last, and room for 5 more
// bytes; afterwards no block is marked last and the data ends with an empty
// stored block on a byte boundary. Where the last block begins and where
// the data ends, to the bit, zlib tells, stopping at every block's end.
size_t KeepOpen(uint8_t* data, size_t size) {
  ZStream zs(ZStream::Wrap::kRaw);
  std::vector<uint8_t> sink(256 << 10);
  zs->next_in = data;
  zs->avail_in = static_cast<uInt>(size);
  uint64_t lastBlock = 0, end = 0;
  for (;;) {
    zs->next_out = sink.data();
    zs->avail_out = static_cast<uInt>(sink.size());
    const int rc = inflate(zs.get(), Z_BLOCK);
    if (rc != Z_OK)
      throw Error(u"the compressor made data that does not inflate (" + IntToText(rc) + u")");
    if (zs->data_type & 128) {  // at a block's end
      const uint64_t at = uint64_t{zs->total_in} * 8 - static_cast<uint64_t>(zs->data_type & 7);
      if (zs->data_type & 64) {
        end = at;
        break;
      }
      lastBlock = at;
    }
  }
  data[lastBlock / 8] &= static_cast<uint8_t>(~(1u << (lastBlock % 8)));
  size = static_cast<size_t>((end + 7) / 8);
  const unsigned used = static_cast<unsigned>(end % 8);
  if (used != 0)
    data[size - 1] &= static_cast<uint8_t>((1u << used) - 1);  // padding: zeros
  // The stored block's 3 header bits fit in the last byte, or need one more.
  if (used == 0 || used > 5)
    data[size++] = 0;
  for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF})
    data[size++] = b;
  return size;
}

}  // namespace

struct TPieceCompressor::State {
  int level;
  libdeflate_compressor* compressor;
};

TPieceCompressor::TPieceCompressor(int level)
    : state_(std::make_unique<State>(State{level, libdeflate_alloc_compressor(level)})) {
  if (state_->compressor == nullptr)
    throw Error(u"no compressor for level " + IntToText(level));
}

TPieceCompressor::~TPieceCompressor() {
  libdeflate_free_compressor(state_->compressor);
}

void TPieceCompressor::Compress(TPiece& piece) {
  const size_t bound = libdeflate_deflate_compress_bound(state_->compressor, piece.inSize);
  piece.out.reset(new uint8_t[2 + bound + 5]);
  size_t at = 0;
  if (piece.first) {
    Header(state_->level, piece.out.get());
    at = 2;
  }
  size_t n = libdeflate_deflate_compress(state_->compressor, piece.in.get(), piece.inSize,
                                         piece.out.get() + at, bound);
  if (n == 0)
    throw Error(u"the compressor ran out of room");
  if (!piece.last)
    n = KeepOpen(piece.out.get() + at, n);
  piece.outSize = at + n;
  piece.adler = libdeflate_adler32(1, piece.in.get(), piece.inSize);
  piece.in.reset();
}

void TBodyCheck::Add(uint32_t adler, size_t size) {
  adler_ = static_cast<uint32_t>(adler32_combine(adler_, adler, static_cast<z_off_t>(size)));
}

void TBodyCheck::Trailer(uint8_t out[4]) const {
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<uint8_t>(adler_ >> (24 - 8 * i));
}
