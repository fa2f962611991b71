#include "common/Bytes.h"

#include <exception>
#include <random>

#include "common/Errors.h"

void SetU16(std::string& bytes, size_t at, uint16_t v) {
  bytes[at] = static_cast<char>(v & 0xFF);
  bytes[at + 1] = static_cast<char>(v >> 8);
}

void SetU32(std::string& bytes, size_t at, uint32_t v) {
  SetU16(bytes, at, static_cast<uint16_t>(v & 0xFFFF));
  SetU16(bytes, at + 2, static_cast<uint16_t>(v >> 16));
}

namespace {

constexpr std::u16string_view kUpperDigits = u"0123456789ABCDEF";

}  // namespace

std::u16string ToHex(uint64_t v, size_t minDigits, THexCase letters) {
  const std::u16string_view digits = letters == THexCase::kUpper ? kUpperDigits : kHexDigits;
  std::u16string s;
  do {
    s.insert(s.begin(), digits[v & 15]);
    v >>= 4;
  } while (v != 0);
  if (s.size() < minDigits)
    s.insert(0, minDigits - s.size(), u'0');
  return s;
}

std::u16string ToHex(std::span<const uint8_t> bytes) {
  std::u16string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += kHexDigits[b >> 4];
    s += kHexDigits[b & 15];
  }
  return s;
}

std::u16string RandomName(size_t length, std::u16string_view alphabet) {
  // Bytes at or past the largest multiple of the alphabet's size are drawn
  // again, so that every character is as likely as every other.
  const unsigned n = static_cast<unsigned>(alphabet.size());
  const unsigned limit = 256 / n * n;
  std::u16string name;
  try {
    std::random_device device;
    while (name.size() < length) {
      uint32_t word = device();
      for (int i = 0; i < 4 && name.size() < length; ++i, word >>= 8) {
        if ((word & 0xFF) < limit)
          name += alphabet[(word & 0xFF) % n];
      }
    }
  } catch (const std::exception&) {
    throw Error(u"the system offers no random numbers");
  }
  return name;
}
