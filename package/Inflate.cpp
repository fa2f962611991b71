#include "package/Inflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"

// The MinGW compilers of the Windows builds have no std::thread (their Win32
// thread model); there the bodies are read on the asking thread.
#if defined(_GLIBCXX_HAS_GTHREADS) || !defined(__GLIBCXX__)
#define STP_THREADS 1
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#endif

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
  in_.Fit(static_cast<size_t>(stored));
  out_.Fit(static_cast<size_t>(unpacked));
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
      [&](const uint8_t* data, size_t size) {
        out.append(reinterpret_cast<const char*>(data), size);
      });
  return out;
}

// The read-ahead: the worker takes the bodies in order; each body within the
// bound goes into a slot (its bytes, or the error it met), waiting there for
// the asking thread. Two slots: one being written, one being filled.
#ifdef STP_THREADS

struct TBodyQueue::Ahead {
  struct Slot {
    size_t index = 0;
    TBodyBuffer bytes;
    std::exception_ptr error;
  };

  TBodyQueue& queue;
  TBodyInflater inflater;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Slot> ready;  // filled, in order
  std::vector<TBodyBuffer> free;
  size_t next = 0;             // the next body the worker takes
  size_t streamAt = SIZE_MAX;  // a body above the bound, left to the asking thread
  bool stop = false;
  std::thread worker;

  Ahead(TBodyQueue& q, TInflateBound bound) : queue(q), inflater(bound) {
    free.resize(2);
    worker = std::thread([this] { Run(); });
  }
  ~Ahead() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    worker.join();
  }

  void Run() {
    TBodyBuffer in;
    for (;;) {
      TBodyBuffer out;
      size_t i = 0;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] {
          return stop || (next < queue.bodies_.size() && streamAt == SIZE_MAX && !free.empty());
        });
        if (stop)
          return;
        i = next;
        const TBodySpan& b = queue.bodies_[i];
        if (!inflater.FitsWhole(b.stored, b.unpacked)) {
          streamAt = i;  // the asking thread streams it, then lets the worker go on
          changed.notify_all();
          continue;
        }
        out = std::move(free.back());
        free.pop_back();
      }
      const TBodySpan& b = queue.bodies_[i];
      Slot slot;
      slot.index = i;
      try {
        in.Fit(static_cast<size_t>(b.stored));
        out.Fit(static_cast<size_t>(b.unpacked));
        if (b.unpacked > 0) {
          queue.package_.Seek(b.offset);
          queue.package_.ReadExact(in.data(), in.size());
          inflater.InflateWhole(in.data(), in.size(), out.data(), out.size());
        }
      } catch (...) {
        slot.error = std::current_exception();
      }
      slot.bytes = std::move(out);
      {
        std::lock_guard<std::mutex> lock(mutex);
        ready.push_back(std::move(slot));
        ++next;
      }
      changed.notify_all();
    }
  }

  void Inflate(size_t i, OutFile& out) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      // Bodies passed over give their buffers back.
      while (!ready.empty() && ready.front().index < i) {
        free.push_back(std::move(ready.front().bytes));
        ready.erase(ready.begin());
        changed.notify_all();
      }
      if (!ready.empty() && ready.front().index == i)
        break;
      if (streamAt != SIZE_MAX && streamAt <= i && ready.empty()) {
        // The worker waits at a body above the bound: bodies before it that
        // are passed over cost nothing, and this one (or a later one) is
        // read here.
        if (streamAt < i) {
          next = i;
          streamAt = SIZE_MAX;
          changed.notify_all();
          continue;
        }
        const TBodySpan& b = queue.bodies_[i];
        queue.package_.Seek(b.offset);
        lock.unlock();
        try {
          queue.inflater_.Inflate(queue.package_, b.stored, b.unpacked, out);
        } catch (...) {
          lock.lock();
          next = i + 1;
          streamAt = SIZE_MAX;
          changed.notify_all();
          throw;
        }
        lock.lock();
        next = i + 1;
        streamAt = SIZE_MAX;
        changed.notify_all();
        return;
      }
      if (ready.empty() && next > i) {
        // Already passed: cannot happen when bodies are asked for in order.
        throw Error(u"a body was asked for out of order");
      }
      changed.wait(lock);
    }
    Slot slot = std::move(ready.front());
    ready.erase(ready.begin());
    lock.unlock();
    const auto giveBack = [&] {
      {
        std::lock_guard<std::mutex> guard(mutex);
        free.push_back(std::move(slot.bytes));
      }
      changed.notify_all();
    };
    try {
      if (slot.error)
        std::rethrow_exception(slot.error);
      if (slot.bytes.size() > 0) {
        out.Reserve(static_cast<int64_t>(slot.bytes.size()));
        out.Write(slot.bytes.data(), slot.bytes.size());
      }
    } catch (...) {
      giveBack();
      throw;
    }
    giveBack();
  }
};

bool TBodyQueue::Threaded() {
  return true;
}

#else

struct TBodyQueue::Ahead {
  Ahead(TBodyQueue&, TInflateBound) {}
  void Inflate(size_t, OutFile&) {}
};

bool TBodyQueue::Threaded() {
  return false;
}

#endif

TBodyQueue::TBodyQueue(InFile& package, std::vector<TBodySpan> bodies, TInflateBound bound,
                       bool readAhead)
    : package_(package), bodies_(std::move(bodies)), inflater_(bound) {
  if (readAhead && Threaded())
    ahead_ = std::make_unique<Ahead>(*this, bound);
}

TBodyQueue::~TBodyQueue() = default;

void TBodyQueue::Inflate(size_t i, OutFile& out) {
  if (ahead_) {
    ahead_->Inflate(i, out);
    return;
  }
  const TBodySpan& b = bodies_[i];
  package_.Seek(b.offset);
  inflater_.Inflate(package_, b.stored, b.unpacked, out);
}
