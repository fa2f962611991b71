#include "common/Convert.h"

#include "common/Errors.h"

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Whether the whole text (spaces around it allowed) is a decimal number,
// and whether that number is zero. The value itself is never needed.
std::optional<bool> DecimalIsNonZero(std::u16string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ')
    ++i;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
    ++i;
  bool digits = false;
  bool nonZero = false;
  while (i < s.size() && IsDigit(s[i])) {
    digits = true;
    nonZero |= s[i] != u'0';
    ++i;
  }
  if (i < s.size() && s[i] == u'.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) {
      digits = true;
      nonZero |= s[i] != u'0';
      ++i;
    }
  }
  if (!digits)
    return std::nullopt;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
      ++i;
    bool expDigits = false;
    while (i < s.size() && IsDigit(s[i])) {
      expDigits = true;
      ++i;
    }
    if (!expDigits)
      return std::nullopt;
  }
  while (i < s.size() && s[i] == u' ')
    ++i;
  if (i != s.size())
    return std::nullopt;
  return nonZero;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z')
      x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z')
      y = static_cast<char16_t>(y - 32);
    if (x != y)
      return false;
  }
  return true;
}

}  // namespace

std::optional<int32_t> TryTextToInt(std::u16string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ')
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
    negative = s[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && s[i] == u'$') {
    base = 16;
    ++i;
  } else if (i < s.size() && (s[i] == u'x' || s[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == s.size())
    return std::nullopt;
  // The magnitude may reach 2^31 for the smallest negative value.
  const uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
  uint64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    const int d = base == 16 ? HexDigit(s[i]) : (IsDigit(s[i]) ? s[i] - u'0' : -1);
    if (d < 0)
      return std::nullopt;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (magnitude > limit)
      return std::nullopt;
  }
  const int64_t value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return static_cast<int32_t>(value);
}

int32_t TextToInt(std::u16string_view text) {
  if (auto v = TryTextToInt(text))
    return *v;
  throw ConvertError(u"'" + std::u16string(text) + u"' is not a valid integer value");
}

bool TextToBool(std::u16string_view text) {
  if (auto v = TryTextToInt(text))
    return *v != 0;
  if (auto nz = DecimalIsNonZero(text))
    return *nz;
  if (EqualsIgnoreCase(text, u"True"))
    return true;
  if (EqualsIgnoreCase(text, u"False"))
    return false;
  throw ConvertError(u"'" + std::u16string(text) + u"' is not a valid boolean value");
}
