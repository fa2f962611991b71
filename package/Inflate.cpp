#include "package/Inflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/Errors.h"
#include "common/Text.h"
#include "package/File.h"

namespace {

constexpr size_t kInChunk = 64 << 10;
constexpr size_t kOutChunk = 1 << 20;

class ZStream {
 public:
  ZStream() {
    if (inflateInit(&zs_) != Z_OK)
      throw Error(u"zlib cannot start");
  }
  ~ZStream() { inflateEnd(&zs_); }
  ZStream(const ZStream&) = delete;
  ZStream& operator=(const ZStream&) = delete;
  z_stream* operator->() { return &zs_; }
  z_stream* get() { return &zs_; }

 private:
  z_stream zs_{};
};

[[noreturn]] void NotZlib(const z_stream& zs) {
  throw PackageReadError(u"the body is not a valid zlib stream" +
                         (zs.msg ? u" (" + FromUtf8(zs.msg) + u")" : std::u16string()));
}

}  // namespace

void InflateStream(const TInflateInput& input, int64_t unpacked, const TInflateOutput& output) {
  if (unpacked <= 0)
    return;
  ZStream zs;
  std::vector<uint8_t> in(kInChunk);
  std::vector<uint8_t> out(static_cast<size_t>(std::min<int64_t>(unpacked, kOutChunk)));
  bool inputDone = false;
  auto refill = [&]() {
    if (inputDone)
      return false;
    const size_t n = input(in.data(), in.size());
    if (n == 0) {
      inputDone = true;
      return false;
    }
    zs->next_in = in.data();
    zs->avail_in = static_cast<uInt>(n);
    return true;
  };

  int64_t produced = 0;
  while (produced < unpacked) {
    if (zs->avail_in == 0 && !refill()) {
      throw PackageReadError(u"the body ends after " + IntToText(produced) + u" of " +
                             IntToText(unpacked) + u" bytes");
    }
    const size_t room = static_cast<size_t>(std::min<int64_t>(unpacked - produced, out.size()));
    zs->next_out = out.data();
    zs->avail_out = static_cast<uInt>(room);
    const uInt inBefore = zs->avail_in;
    const int rc = inflate(zs.get(), Z_NO_FLUSH);
    const size_t got = room - zs->avail_out;
    if (got > 0)
      output(out.data(), got);
    produced += static_cast<int64_t>(got);
    if (rc == Z_STREAM_END) {
      if (produced < unpacked) {
        throw PackageReadError(u"the body inflates to " + IntToText(produced) +
                               u" bytes instead of " + IntToText(unpacked));
      }
      return;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      NotZlib(*zs.get());
    if (got == 0 && zs->avail_in == inBefore && zs->avail_in != 0)
      NotZlib(*zs.get());
  }

  // All the bytes wanted are out. A stream that ends here must end with its
  // check value right; one that would give more is not examined further.
  for (;;) {
    zs->next_out = out.data();
    zs->avail_out = 0;
    const uInt inBefore = zs->avail_in;
    const int rc = inflate(zs.get(), Z_NO_FLUSH);
    if (rc == Z_STREAM_END)
      return;
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      NotZlib(*zs.get());
    if (zs->avail_in == 0) {
      if (!refill())
        throw PackageReadError(u"the body ends before its check value");
    } else if (zs->avail_in == inBefore) {
      return;  // it wants room for more bytes
    }
  }
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

void TBodyInflater::InflateWhole(const uint8_t* in, size_t stored, uint8_t* out, size_t unpacked) {
  if (unpacked == 0)
    return;
  size_t used = 0, got = 0;
  const libdeflate_result r =
      libdeflate_zlib_decompress_ex(decompressor_->d, in, stored, out, unpacked, &used, &got);
  if (r == LIBDEFLATE_SUCCESS && got == unpacked)
    return;
  // A body that gives more than its unpacked size, or none that is sound:
  // zlib takes exactly the bytes wanted or names what is wrong, so both ways
  // give the same bytes and the same refusals.
  size_t at = 0, written = 0;
  InflateStream(
      [&](uint8_t* buffer, size_t size) {
        const size_t n = std::min(size, stored - at);
        if (n > 0)
          std::memcpy(buffer, in + at, n);
        at += n;
        return n;
      },
      static_cast<int64_t>(unpacked),
      [&](const uint8_t* data, size_t size) {
        std::memcpy(out + written, data, size);
        written += size;
      });
}

void TBodyInflater::Inflate(InFile& package, int64_t stored, int64_t unpacked, OutFile& out) {
  if (unpacked <= 0)
    return;
  out.Reserve(unpacked);
  if (!FitsWhole(stored, unpacked)) {
    int64_t left = stored;
    InflateStream(
        [&](uint8_t* buffer, size_t size) {
          const size_t n = static_cast<size_t>(std::min<int64_t>(left, size));
          package.ReadExact(buffer, n);
          left -= static_cast<int64_t>(n);
          return n;
        },
        unpacked, [&](const uint8_t* data, size_t size) { out.Write(data, size); });
    return;
  }
  in_.resize(static_cast<size_t>(stored));
  out_.resize(static_cast<size_t>(unpacked));
  package.ReadExact(in_.data(), in_.size());
  InflateWhole(in_.data(), in_.size(), out_.data(), out_.size());
  out.Write(out_.data(), out_.size());
}

std::string InflateBody(std::string_view body, int64_t unpacked, bool whole) {
  std::string out;
  const auto* in = reinterpret_cast<const uint8_t*>(body.data());
  if (whole) {
    out.resize(static_cast<size_t>(unpacked));
    TBodyInflater inflater;
    inflater.InflateWhole(in, body.size(), reinterpret_cast<uint8_t*>(out.data()), out.size());
    return out;
  }
  size_t at = 0;
  InflateStream(
      [&](uint8_t* buffer, size_t size) {
        const size_t n = std::min(size, body.size() - at);
        if (n > 0)
          std::memcpy(buffer, in + at, n);
        at += n;
        return n;
      },
      unpacked,
      [&](const uint8_t* data, size_t size) { out.append(reinterpret_cast<const char*>(data), size); });
  return out;
}
