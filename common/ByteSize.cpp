#include "common/ByteSize.h"

#include <cmath>

#include "common/Text.h"

namespace {

// n tenths in the general format: no trailing ".0".
std::u16string Tenths(int64_t n, std::u16string_view decimalSeparator) {
  std::u16string text = IntToText(n / 10);
  if (n % 10 != 0)
    text += std::u16string(decimalSeparator) + IntToText(n % 10);
  return text;
}

}  // namespace

std::u16string FormatByteSize(int64_t Size, std::u16string_view decimalSeparator) {
  constexpr int64_t kKB = 1024;
  constexpr int64_t kMB = 1024 * 1024;
  constexpr int64_t kGB = 1024 * 1024 * 1024;
  if (Size < kKB)
    return IntToText(Size) + u" Bytes";
  // Rounding is to nearest with ties to even, the default mode.
  if (Size < kMB) {
    const double v = static_cast<double>(Size) / kKB;  // exact
    return IntToText(static_cast<int64_t>(std::nearbyint(v))) + u" KB";
  }
  const bool mb = Size < kGB;
  const double v = static_cast<double>(Size) / static_cast<double>(mb ? kMB : kGB);
  const std::u16string unit = mb ? u" MB" : u" GB";
  if (v > 100)
    return IntToText(static_cast<int64_t>(std::nearbyint(v))) + unit;
  return Tenths(static_cast<int64_t>(std::nearbyint(v * 10)), decimalSeparator) + unit;
}
