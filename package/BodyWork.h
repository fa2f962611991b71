// The bodies of a package's rows inflated on several threads, each into its
// own output, and taken back in the order given: the one way `extract` and
// `verify` read bodies.
//
// Bodies are inflated on the threads when the package can be read again by
// its path (each thread reads it on its own); everything else (reading
// ahead, cutting, taking back) happens on the calling thread, row by row in
// order. A large body is cut into pieces inflated on several threads and
// given to its output in order (package/BodyPieces.h), where the build
// inflates pieces; what the pieces do not settle is inflated again here
// from the body's start, so the bytes and the words of a failure are those
// of one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Parallel.h"
#include "package/Inflate.h"

class InFile;
class TBodyJoin;
struct TBodyPiece;

// Where a body lies in the package.
struct TBodyAt {
  int64_t at = 0;
  int64_t stored = 0;
  int64_t unpacked = 0;
};

// Where a body's bytes go, in order, from any thread: reserve (when set)
// once before the first byte, then write.
struct TBodyOut {
  std::function<void(int64_t unpacked)> reserve;
  TInflateOutput write;
};

class TBodyWork {
 public:
  // Runs step for the row; the caller names the row in what it raises.
  using Label = std::function<void(size_t row, const std::function<void()>& step)>;
  // Called here in row order, once a row's body is whole in its output
  // (inflated set), or in its turn for a row given no output.
  using OnTaken = std::function<void(size_t row, bool inflated)>;

  // package is read here; packagePath, when not empty, names it for the
  // threads (empty: one thread, reading package). Bodies end as end says.
  TBodyWork(InFile& package, std::u16string_view packagePath, int threads, TInflateBound bound,
            TBodyEnd end, Label label, OnTaken taken);
  // Waits for the jobs that are running.
  ~TBodyWork();
  TBodyWork(const TBodyWork&) = delete;
  TBodyWork& operator=(const TBodyWork&) = delete;

  // Whether a row given now would wait for the oldest to be taken back.
  bool Full() const { return work_.Full(); }
  // Gives the row's body to be inflated into out, or (out empty) nothing
  // to be inflated.
  void Give(size_t row, const TBodyAt& body, std::shared_ptr<const TBodyOut> out);
  // Takes back the oldest piece or row given.
  void TakeOldest();
  // Takes back everything given.
  void Finish();
  // How many rows have been taken back.
  size_t TakenRows() const { return taken_; }

 private:
  struct InFlight {
    size_t row;
    TBodyAt body;
    std::shared_ptr<const TBodyOut> out;  // empty: nothing inflated
    // A cut body's: one of its pieces, or (piece null) its end.
    std::shared_ptr<TBodyJoin> join;
    std::unique_ptr<TBodyPiece> piece;
  };
  // Gives a large body's pieces; false when it has no place to cut at
  // first, and is to be given whole.
  bool GiveCut(size_t row, const TBodyAt& body, const std::shared_ptr<const TBodyOut>& out);
  void GiveWhole(const TBodyAt& body, std::shared_ptr<const TBodyOut> out);

  InFile& package_;
  std::u16string packagePath_;
  int threads_;
  TInflateBound bound_;
  TBodyEnd end_;
  Label label_;
  OnTaken onTaken_;
  std::vector<std::unique_ptr<InFile>> readers_;
  std::vector<std::unique_ptr<TBodyInflater>> inflaters_;
  // Here, for the bodies whose pieces do not settle them.
  std::unique_ptr<TBodyInflater> settler_;
  // The output room of pieces taken back, for the next ones.
  std::vector<std::unique_ptr<uint8_t[]>> spare_;
  // Before the work, whose end waits for the jobs that use its pieces.
  std::deque<InFlight> inFlight_;
  TOrderedWork work_;
  bool cut_;
  size_t pieces_ = 0;  // in flight
  size_t taken_ = 0;
};
