// Bytes as files and formats hold them: little-endian numbers read and
// written, numbers and bytes as hexadecimal text, and random names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The little-endian number at `at`; the caller has checked that its bytes
// lie in `bytes` (at + 2, at + 4 <= size).
inline uint16_t GetU16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline uint32_t GetU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(GetU16(bytes, at)) | static_cast<uint32_t>(GetU16(bytes, at + 2))
                                                        << 16;
}

inline std::span<const uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

inline uint16_t GetU16(std::string_view bytes, size_t at) {
  return GetU16(AsBytes(bytes), at);
}

inline uint32_t GetU32(std::string_view bytes, size_t at) {
  return GetU32(AsBytes(bytes), at);
}

// The number appended to `out` (a std::string or a vector of bytes) in
// little-endian order.
template <class Out>
void PutU16(Out& out, uint16_t v) {
  out.push_back(static_cast<typename Out::value_type>(v & 0xFF));
  out.push_back(static_cast<typename Out::value_type>(v >> 8));
}

template <class Out>
void PutU32(Out& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v & 0xFFFF));
  PutU16(out, static_cast<uint16_t>(v >> 16));
}

// The number written over the bytes at `at`, which lie in `bytes`.
void SetU16(std::string& bytes, size_t at, uint16_t v);
void SetU32(std::string& bytes, size_t at, uint32_t v);

enum class THexCase { kLower, kUpper };

// A number's hexadecimal digits, at least minDigits of them (zeros in
// front): ToHex(0x1b, 4) is "001b".
std::u16string ToHex(uint64_t v, size_t minDigits = 1, THexCase letters = THexCase::kLower);
// Two lower-case digits a byte, in order.
std::u16string ToHex(std::span<const uint8_t> bytes);

// The alphabets of random names.
inline constexpr std::u16string_view kHexDigits = u"0123456789abcdef";
inline constexpr std::u16string_view kLettersAndDigits =
    u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// `length` characters drawn evenly at random from `alphabet` (at most 256
// characters) with the system's generator. Raises Error when the system
// has none.
std::u16string RandomName(size_t length, std::u16string_view alphabet);
