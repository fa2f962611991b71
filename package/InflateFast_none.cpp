#include "package/InflateFast.h"

bool HaveFastInflater() {
  return false;
}

struct TFastScratch {};

void TFastScratchDeleter::operator()(TFastScratch* scratch) const {
  delete scratch;
}

TFastScratchPtr MakeFastScratch() {
  return TFastScratchPtr(new TFastScratch);
}

TFastOutcome InflateFast(const TInflateInput&, int64_t, const TInflateOutput&, TBodyEnd,
                         TFastScratch*) {
  return {};
}

TPieceOutcome InflatePiece(const uint8_t*, size_t, bool, uint8_t*, size_t) {
  return {};
}
