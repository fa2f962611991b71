#include "package/InflateFast.h"

bool HaveFastInflater() {
  return false;
}

TFastOutcome InflateFast(const TInflateInput&, int64_t, const TInflateOutput&, TBodyEnd) {
  return {};
}

TPieceOutcome InflatePiece(const uint8_t*, size_t, bool, uint8_t*, size_t) {
  return {};
}
