#include "package/InflateFast.h"

bool HaveFastInflater() {
  return false;
}

TFastOutcome InflateFast(const TInflateInput&, int64_t, const TInflateOutput&, TBodyEnd) {
  return {};
}
