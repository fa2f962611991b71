#include "package/BodyWork.h"

#include <algorithm>

#include "fs/File.h"
#include "package/BodyPieces.h"

namespace {

// Bodies of at least this many stored bytes are cut into pieces where the
// build inflates pieces on several threads; at most this many pieces are in
// flight (each holds up to TCutBound::most stored bytes and kPieceRoom).
constexpr int64_t kCutBody = 4 << 20;
constexpr size_t kMostPiecesInFlight = 6;

}  // namespace

TBodyWork::TBodyWork(InFile& package, std::u16string_view packagePath, int threads,
                     TInflateBound bound, TBodyEnd end, Label label, OnTaken taken)
    : package_(package),
      packagePath_(packagePath),
      threads_(packagePath.empty() ? 1 : std::max(threads, 1)),
      bound_(bound),
      end_(end),
      label_(std::move(label)),
      onTaken_(std::move(taken)),
      readers_(static_cast<size_t>(threads_)),
      inflaters_(static_cast<size_t>(threads_)),
      work_(threads_, 2 * static_cast<size_t>(threads_)),
      cut_(work_.Workers() > 1 && HaveFastInflater()) {}

TBodyWork::~TBodyWork() = default;

void TBodyWork::Give(size_t row, const TBodyAt& body, std::shared_ptr<const TBodyOut> out) {
  while (work_.Full())
    TakeOldest();
  // Only a body that packs well is worth cutting: a stored one costs little
  // more than its copy, which one thread does best.
  if (out && cut_ && body.stored >= kCutBody &&
      body.stored < body.unpacked - body.unpacked / 8 && GiveCut(row, body, out))
    return;
  inFlight_.push_back({row, body, out, nullptr, nullptr});
  if (out)
    GiveWhole(body, std::move(out));
}

void TBodyWork::GiveWhole(const TBodyAt& body, std::shared_ptr<const TBodyOut> out) {
  work_.Give([this, body, out = std::move(out)](int worker) {
    InFile* reader = &package_;
    if (threads_ > 1) {
      auto& own = readers_[static_cast<size_t>(worker)];
      if (!own)
        own = std::make_unique<InFile>(packagePath_);
      reader = own.get();
    }
    auto& inflater = inflaters_[static_cast<size_t>(worker)];
    if (!inflater)
      inflater = std::make_unique<TBodyInflater>(bound_);
    reader->Seek(body.at);
    if (out->reserve)
      out->reserve(body.unpacked);
    inflater->Inflate(*reader, body.stored, body.unpacked, out->write, end_);
  });
}

bool TBodyWork::GiveCut(size_t row, const TBodyAt& body,
                        const std::shared_ptr<const TBodyOut>& out) {
  TBodyCutter cutter(
      [&](int64_t offset, uint8_t* buffer, size_t size) {
        package_.Seek(body.at + offset);
        package_.ReadExact(buffer, size);
      },
      body.stored);
  std::unique_ptr<TBodyPiece> piece;
  label_(row, [&] { piece = cutter.Next(spare_); });
  if (!piece)
    return false;
  if (out->reserve)
    out->reserve(body.unpacked);
  const auto join = std::make_shared<TBodyJoin>(body.unpacked, end_);
  while (piece) {
    // Inflated on any thread, joined and given in order by the one that
    // ends it.
    work_.Give([p = piece.get()](int) { p->Inflate(); },
               [p = piece.get(), out, join] { join->Take(*p, out->write); });
    inFlight_.push_back({row, body, out, join, std::move(piece)});
    ++pieces_;
    while (work_.Full() || pieces_ >= kMostPiecesInFlight)
      TakeOldest();
    if (join->Broken())
      break;
    label_(row, [&] { piece = cutter.Next(spare_); });
  }
  inFlight_.push_back({row, body, out, join, nullptr});
  return true;
}

void TBodyWork::TakeOldest() {
  InFlight f = std::move(inFlight_.front());
  inFlight_.pop_front();
  if (f.piece) {
    --pieces_;
    label_(f.row, [&] { work_.TakeOldest(); });
    spare_.push_back(std::move(f.piece->out));
    return;
  }
  if (f.join && !f.join->Finished()) {
    label_(f.row, [&] {
      if (!settler_)
        settler_ = std::make_unique<TBodyInflater>(bound_);
      package_.Seek(f.body.at);
      settler_->Inflate(package_, f.body.stored, f.body.unpacked,
                        SkipFirst(f.join->Given(), f.out->write), end_);
    });
  } else if (f.out && !f.join) {
    label_(f.row, [&] { work_.TakeOldest(); });
  }
  ++taken_;
  onTaken_(f.row, f.out != nullptr);
}

void TBodyWork::Finish() {
  while (!inFlight_.empty())
    TakeOldest();
}
