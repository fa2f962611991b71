#include "package/BodyPieces.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kReadChunk = 1 << 20;

// The first point in data[from, to): the offset just after the bytes
// 00 00 FF FF of an empty stored block, whose byte before holds nothing
// above the block's three header bits (the rest of that byte is padding,
// which is zero); 0 when there is none.
size_t FindPoint(const uint8_t* data, size_t from, size_t to) {
  for (size_t i = std::max<size_t>(from, 1); i + 4 <= to;) {
    const void* ff = std::memchr(data + i + 2, 0xFF, to - i - 2);
    if (ff == nullptr)
      return 0;
    const size_t j = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data) - 2;
    if (j + 4 <= to && data[j + 3] == 0xFF && data[j] == 0 && data[j + 1] == 0 &&
        (data[j - 1] & 0xE0) == 0) {
      return j + 4;
    }
    i = j + 1;
  }
  return 0;
}

}  // namespace

void TBodyPiece::Inflate() {
  outcome = InflatePiece(in.data(), in.size(), first, out.get(), kPieceRoom);
}

TBodyCutter::TBodyCutter(TReadAt read, int64_t stored, TCutBound bound)
    : read_(std::move(read)),
      stored_(stored),
      bound_(bound),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(bound.most + kReadChunk)) {}

bool TBodyCutter::ReadMore() {
  const int64_t from = heldAt_ + static_cast<int64_t>(Held());
  const size_t n = static_cast<size_t>(std::min<int64_t>(stored_ - from, kReadChunk));
  if (n == 0)
    return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, Held());
    end_ -= begin_;
    begin_ = 0;
  }
  read_(from, buffer_.get() + end_, n);
  end_ += n;
  return true;
}

std::unique_ptr<TBodyPiece> TBodyCutter::Next(std::vector<std::unique_ptr<uint8_t[]>>& spare) {
  if (stuck_ || (heldAt_ == stored_ && Held() == 0))
    return nullptr;
  size_t cut = 0, scanned = 0;
  int points = 0;
  bool last = false;
  for (;;) {
    const size_t point = FindPoint(buffer_.get() + begin_, scanned, std::min(Held(), bound_.most));
    if (point != 0) {
      ++points;
      if (point >= bound_.least || points == bound_.points) {
        cut = point;
        break;
      }
      scanned = point;
      continue;
    }
    // A point may straddle what is held and what comes next.
    scanned = std::max(scanned, Held() > 4 ? Held() - 4 : 0);
    if (Held() >= bound_.most || !ReadMore()) {
      if (heldAt_ + static_cast<int64_t>(Held()) == stored_ && Held() <= bound_.most) {
        cut = Held();
        last = true;
        break;
      }
      stuck_ = true;
      return nullptr;
    }
  }
  auto piece = std::make_unique<TBodyPiece>();
  piece->start = heldAt_;
  piece->first = heldAt_ == 0;
  piece->last = last;
  piece->in.assign(buffer_.get() + begin_, buffer_.get() + begin_ + cut);
  begin_ += cut;
  heldAt_ += static_cast<int64_t>(cut);
  if (spare.empty()) {
    piece->out = std::make_unique_for_overwrite<uint8_t[]>(kPieceRoom);
  } else {
    piece->out = std::move(spare.back());
    spare.pop_back();
  }
  return piece;
}

void TBodyJoin::Take(const TBodyPiece& piece, const TInflateOutput& output) {
  if (broken_ || finished_)
    return;
  const TPieceOutcome& o = piece.outcome;
  if (piece.start != next_ || piece.first != (next_ == 0) || o.kind == TPieceOutcome::Kind::kNone ||
      given_ + static_cast<int64_t>(o.got) > unpacked_) {
    broken_ = true;
    return;
  }
  if (o.got > 0) {
    try {
      output(piece.out.get(), o.got);
    } catch (...) {
      broken_ = true;  // nothing after it is written
      throw;
    }
  }
  given_ += static_cast<int64_t>(o.got);
  check_.Add(o.adler, o.got);
  next_ = piece.start + static_cast<int64_t>(piece.in.size());
  if (o.kind != TPieceOutcome::Kind::kLast)
    return;
  uint8_t trailer[4];
  check_.Trailer(trailer);
  const size_t end = o.trailerAt + 4;
  finished_ = given_ == unpacked_ && end <= piece.in.size() &&
              std::memcmp(piece.in.data() + o.trailerAt, trailer, 4) == 0 &&
              (end_ == TBodyEnd::Extract || (piece.last && end == piece.in.size()));
  broken_ = !finished_;
}

void JoinInMemory(std::string_view body, TBodyJoin& join, const TInflateOutput& output) {
  TBodyCutter cutter([body](int64_t at, uint8_t* buffer,
                            size_t size) { std::memcpy(buffer, body.data() + at, size); },
                     static_cast<int64_t>(body.size()), {1, 64 << 10, 1});
  std::vector<std::unique_ptr<uint8_t[]>> spare;
  while (!join.Broken() && !join.Finished()) {
    std::unique_ptr<TBodyPiece> piece = cutter.Next(spare);
    if (!piece)
      break;
    piece->Inflate();
    join.Take(*piece, output);
    spare.push_back(std::move(piece->out));
  }
}
