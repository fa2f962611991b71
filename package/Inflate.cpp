#include "package/Inflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "package/BodyPieces.h"
#include "package/Errors.h"
#include "package/InflateFast.h"
#include "package/ZStream.h"

namespace {

constexpr size_t kInChunk = 64 << 10;
constexpr size_t kOutChunk = 1 << 20;

[[noreturn]] void NotZlib(const z_stream& zs) {
  throw PackageReadError(u"the body is not a valid zlib stream" +
                         (zs.msg ? u" (" + FromUtf8(zs.msg) + u")" : std::u16string()));
}

// An input over bytes in memory.
TInflateInput FromMemory(const uint8_t* data, size_t size) {
  return [data, size, at = size_t{0}](uint8_t* buffer, size_t room) mutable {
    const size_t n = std::min(room, size - at);
    if (n > 0)
      std::memcpy(buffer, data + at, n);
    at += n;
    return n;
  };
}

}  // namespace

void InflateStream(const TInflateInput& input, int64_t unpacked, const TInflateOutput& output,
                   TBodyEnd end) {
  const bool exact = end == TBodyEnd::Exact;
  if (unpacked <= 0 && !exact)
    return;
  ZStream zs;
  std::vector<uint8_t> in(kInChunk);
  // One byte more than the body gives: the exact end finds out there
  // whether the stream would give more.
  std::vector<uint8_t> out(static_cast<size_t>(std::min<int64_t>(unpacked, kOutChunk)) + 1);
  int64_t fed = 0, produced = 0;
  bool inputDone = false;
  auto refill = [&]() {
    if (inputDone)
      return false;
    const size_t n = input(in.data(), in.size());
    if (n == 0) {
      inputDone = true;
      return false;
    }
    fed += static_cast<int64_t>(n);
    zs->next_in = in.data();
    zs->avail_in = static_cast<uInt>(n);
    return true;
  };
  auto ranOut = [&]() -> PackageReadError {
    if (exact) {
      return PackageReadError(u"the body's " + IntToText(fed) +
                              u" stored bytes end before its zlib stream does (" +
                              IntToText(produced) + u" bytes unpacked so far)");
    }
    if (produced < unpacked) {
      return PackageReadError(u"the body ends after " + IntToText(produced) + u" of " +
                              IntToText(unpacked) + u" bytes");
    }
    return PackageReadError(u"the body ends before its check value");
  };

  while (produced < unpacked) {
    if (zs->avail_in == 0 && !refill())
      throw ranOut();
    const size_t room = static_cast<size_t>(std::min<int64_t>(unpacked - produced, out.size() - 1));
    zs->next_out = out.data();
    zs->avail_out = static_cast<uInt>(room);
    const uInt inBefore = zs->avail_in;
    const int rc = inflate(zs.get(), Z_NO_FLUSH);
    const size_t got = room - zs->avail_out;
    if (got > 0)
      output(out.data(), got);
    produced += static_cast<int64_t>(got);
    if (rc == Z_STREAM_END)
      break;
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      NotZlib(*zs.get());
    if (got == 0 && zs->avail_in == inBefore && zs->avail_in != 0)
      NotZlib(*zs.get());
  }
  if (produced < unpacked) {
    throw PackageReadError(u"the body inflates to " + IntToText(produced) + u" bytes instead of " +
                           IntToText(unpacked));
  }

  // All the bytes wanted are out, and the stream must end here with its
  // check value right: one more byte is room enough to see that it would
  // give more. (Taking only the bytes wanted of a stream that goes on would
  // write a damaged body's bytes as a sound file's.)
  for (;;) {
    zs->next_out = out.data();
    zs->avail_out = 1;
    const uInt inBefore = zs->avail_in;
    const int rc = inflate(zs.get(), Z_NO_FLUSH);
    if (zs->avail_out == 0) {
      throw PackageReadError(u"the body unpacks to more than its " + IntToText(unpacked) +
                             u" bytes");
    }
    if (rc == Z_STREAM_END)
      break;
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      NotZlib(*zs.get());
    if (zs->avail_in == 0) {
      if (!refill())
        throw ranOut();
    } else if (zs->avail_in == inBefore) {
      NotZlib(*zs.get());  // stuck with room and input: cannot happen
    }
  }
  if (!exact)
    return;
  // Read exactly, the stored size ends with the stream.
  int64_t unused = zs->avail_in;
  while (refill())
    unused += zs->avail_in;
  if (unused != 0) {
    throw PackageReadError(u"the body's zlib stream ends " + IntToText(unused) +
                           u" bytes before its stored size of " + IntToText(fed));
  }
}

void InflateStreamFast(const TInflateInput& input, const std::function<void()>& rewind,
                       int64_t unpacked, const TInflateOutput& output, TBodyEnd end,
                       TFastScratch* scratch) {
  if (unpacked <= 0 && end == TBodyEnd::Extract)
    return;
  const TFastOutcome fast = InflateFast(input, unpacked, output, end, scratch);
  if (fast.finished)
    return;
  // zlib reads the body again and settles it, giving only what follows the
  // bytes given: what the fast inflater gave is a prefix of the stream's
  // bytes, which both inflaters read alike (where zlib refuses sooner, the
  // body is refused all the same).
  rewind();
  InflateStream(input, unpacked, SkipFirst(fast.given, output), end);
}

TInflateOutput SkipFirst(int64_t bytes, const TInflateOutput& output) {
  return [&output, skip = bytes](const uint8_t* data, size_t size) mutable {
    const size_t dropped = static_cast<size_t>(std::min<int64_t>(skip, size));
    skip -= static_cast<int64_t>(dropped);
    if (dropped < size)
      output(data + dropped, size - dropped);
  };
}

uint8_t* TBodyBuffer::Fit(size_t size) {
  if (size > capacity_) {
    data_.reset();
    capacity_ = 0;
    data_ = std::make_unique_for_overwrite<uint8_t[]>(size);
    capacity_ = size;
  }
  size_ = size;
  return data_.get();
}

struct TBodyInflater::Decompressor {
  libdeflate_decompressor* d = nullptr;
  Decompressor() : d(libdeflate_alloc_decompressor()) {
    if (d == nullptr)
      throw Error(u"no memory for a decompressor");
  }
  ~Decompressor() { libdeflate_free_decompressor(d); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

TBodyInflater::TBodyInflater(TInflateBound bound)
    : bound_(bound), decompressor_(std::make_unique<Decompressor>()) {}

TBodyInflater::~TBodyInflater() = default;

bool TBodyInflater::FitsWhole(int64_t stored, int64_t unpacked) const {
  return stored >= 0 && unpacked >= 0 && stored <= bound_.stored && unpacked <= bound_.unpacked;
}

void TBodyInflater::InflateWhole(const uint8_t* in, size_t stored, uint8_t* out, size_t unpacked,
                                 TBodyEnd end) {
  const bool exact = end == TBodyEnd::Exact;
  if (unpacked == 0 && !exact)
    return;
  if (unpacked > 0) {
    size_t used = 0, got = 0;
    const libdeflate_result r =
        libdeflate_zlib_decompress_ex(decompressor_->d, in, stored, out, unpacked, &used, &got);
    if (r == LIBDEFLATE_SUCCESS && got == unpacked && (!exact || used == stored))
      return;
  }
  // A body that gives more than its unpacked size, or none that is sound:
  // zlib takes exactly the bytes wanted or names what is wrong, so both ways
  // give the same bytes and the same refusals.
  size_t written = 0;
  InflateStream(
      FromMemory(in, stored), static_cast<int64_t>(unpacked),
      [&](const uint8_t* data, size_t size) {
        std::memcpy(out + written, data, size);
        written += size;
      },
      end);
}

void TBodyInflater::Inflate(InFile& package, int64_t stored, int64_t unpacked,
                            const TInflateOutput& output, TBodyEnd end) {
  if (end == TBodyEnd::Exact && stored == 0) {
    if (unpacked != 0)
      throw PackageReadError(u"an empty body cannot give " + IntToText(unpacked) + u" bytes");
    return;
  }
  if (unpacked <= 0 && end == TBodyEnd::Extract)
    return;
  if (HaveFastInflater() || !FitsWhole(stored, unpacked) || unpacked == 0) {
    if (HaveFastInflater() && !fast_)
      fast_ = MakeFastScratch();
    const int64_t start = package.Position();
    int64_t left = stored;
    InflateStreamFast(
        [&](uint8_t* buffer, size_t size) {
          const size_t n = static_cast<size_t>(std::min<int64_t>(left, size));
          package.ReadExact(buffer, n);
          left -= static_cast<int64_t>(n);
          return n;
        },
        [&] {
          package.Seek(start);
          left = stored;
        },
        unpacked, output, end, fast_.get());
    return;
  }
  in_.Fit(static_cast<size_t>(stored));
  out_.Fit(static_cast<size_t>(unpacked));
  package.ReadExact(in_.data(), in_.size());
  InflateWhole(in_.data(), in_.size(), out_.data(), out_.size(), end);
  output(out_.data(), out_.size());
}

std::string InflateBody(std::string_view body, int64_t unpacked, TInflateWay way, TBodyEnd end) {
  std::string out;
  const auto* in = reinterpret_cast<const uint8_t*>(body.data());
  if (way == TInflateWay::Whole) {
    out.resize(static_cast<size_t>(unpacked));
    TBodyInflater inflater;
    inflater.InflateWhole(in, body.size(), reinterpret_cast<uint8_t*>(out.data()), out.size(), end);
    return out;
  }
  TInflateInput input = FromMemory(in, body.size());
  const TInflateOutput output = [&](const uint8_t* data, size_t size) {
    out.append(reinterpret_cast<const char*>(data), size);
  };
  if (way == TInflateWay::Zlib) {
    InflateStream(input, unpacked, output, end);
    return out;
  }
  int64_t given = 0;
  if (way == TInflateWay::Pieces) {
    TBodyJoin join(unpacked, end);
    JoinInMemory(body, join, output);
    if (join.Finished())
      return out;
    given = join.Given();
  }
  InflateStreamFast(
      input, [&] { input = FromMemory(in, body.size()); }, unpacked, SkipFirst(given, output), end);
  return out;
}
