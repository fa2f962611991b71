#include "package/Haval.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"

namespace {

// The fractional part of pi, 32 bits at a time: the first eight words start
// the fingerprint, the next 128 are the step constants of passes 2 to 5.
constexpr uint32_t kInit[8] = {
    0x243F6A88, 0x85A308D3, 0x13198A2E, 0x03707344, 0xA4093822, 0x299F31D0, 0x082EFA98, 0xEC4E6C89,
};

constexpr uint32_t kConst[128] = {
    0x452821E6, 0x38D01377, 0xBE5466CF, 0x34E90C6C, 0xC0AC29B7, 0xC97C50DD, 0x3F84D5B5, 0xB5470917,
    0x9216D5D9, 0x8979FB1B, 0xD1310BA6, 0x98DFB5AC, 0x2FFD72DB, 0xD01ADFB7, 0xB8E1AFED, 0x6A267E96,
    0xBA7C9045, 0xF12C7F99, 0x24A19947, 0xB3916CF7, 0x0801F2E2, 0x858EFC16, 0x636920D8, 0x71574E69,
    0xA458FEA3, 0xF4933D7E, 0x0D95748F, 0x728EB658, 0x718BCD58, 0x82154AEE, 0x7B54A41D, 0xC25A59B5,
    0x9C30D539, 0x2AF26013, 0xC5D1B023, 0x286085F0, 0xCA417918, 0xB8DB38EF, 0x8E79DCB0, 0x603A180E,
    0x6C9E0E8B, 0xB01E8A3E, 0xD71577C1, 0xBD314B27, 0x78AF2FDA, 0x55605C60, 0xE65525F3, 0xAA55AB94,
    0x57489862, 0x63E81440, 0x55CA396A, 0x2AAB10B6, 0xB4CC5C34, 0x1141E8CE, 0xA15486AF, 0x7C72E993,
    0xB3EE1411, 0x636FBC2A, 0x2BA9C55D, 0x741831F6, 0xCE5C3E16, 0x9B87931E, 0xAFD6BA33, 0x6C24CF5C,
    0x7A325381, 0x28958677, 0x3B8F4898, 0x6B4BB9AF, 0xC4BFE81B, 0x66282193, 0x61D809CC, 0xFB21A991,
    0x487CAC60, 0x5DEC8032, 0xEF845D5D, 0xE98575B1, 0xDC262302, 0xEB651B88, 0x23893E81, 0xD396ACC5,
    0x0F6D6FF3, 0x83F44239, 0x2E0B4482, 0xA4842004, 0x69C8F04A, 0x9E1F9B5E, 0x21C66842, 0xF6E96C9A,
    0x670C9C61, 0xABD388F0, 0x6A51A0D2, 0xD8542F68, 0x960FA728, 0xAB5133A3, 0x6EEF0B6C, 0x137A3BE4,
    0xBA3BF050, 0x7EFB2A98, 0xA1F1651D, 0x39AF0176, 0x66CA593E, 0x82430E88, 0x8CEE8619, 0x456F9FB4,
    0x7D84A5C3, 0x3B8B5EBE, 0xE06F75D8, 0x85C12073, 0x401A449F, 0x56C16AA6, 0x4ED3AA62, 0x363F7706,
    0x1BFEDF72, 0x429B023D, 0x37D0D724, 0xD00A1248, 0xDB0FEAD3, 0x49F1C09B, 0x075372C9, 0x80991B7B,
    0x25D479D8, 0xF6E8DEF7, 0xE3FE501A, 0xB6794C3B, 0x976CE0BD, 0x04C006BA, 0xC1A94FB6, 0x409F60C4,
};

// Word order of passes 2 to 5 (pass 1 takes the words in order).
constexpr uint8_t kOrder[4][32] = {
    {5,  14, 26, 18, 11, 28, 7,  16, 0,  23, 20, 22, 1, 10, 4,  8,
     30, 3,  21, 9,  17, 24, 29, 6,  19, 12, 15, 13, 2, 25, 31, 27},
    {19, 9,  4, 20, 28, 17, 8,  22, 29, 14, 25, 12, 24, 30, 16, 26,
     31, 15, 7, 3,  1,  0,  18, 27, 13, 6,  21, 10, 23, 11, 5,  2},
    {24, 4,  0,  14, 2, 7,  28, 23, 26, 6,  30, 20, 18, 25, 19, 3,
     22, 11, 31, 21, 8, 27, 12, 9,  1,  29, 5,  15, 17, 10, 16, 13},
    {27, 3, 21, 26, 17, 11, 20, 29, 19, 0,  12, 7,  13, 8, 31, 10,
     5,  9, 14, 30, 18, 6,  28, 24, 2,  23, 16, 22, 4,  1, 25, 15},
};

constexpr uint32_t Ror(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

// The five boolean functions, arguments x6 .. x0.
constexpr uint32_t F1(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                      uint32_t x0) {
  return (x1 & (x0 ^ x4)) ^ (x2 & x5) ^ (x3 & x6) ^ x0;
}
constexpr uint32_t F2(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                      uint32_t x0) {
  return (x2 & ((x1 & ~x3) ^ (x4 & x5) ^ x6 ^ x0)) ^ (x4 & (x1 ^ x5)) ^ (x3 & x5) ^ x0;
}
constexpr uint32_t F3(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                      uint32_t x0) {
  return (x3 & ((x1 & x2) ^ x6 ^ x0)) ^ (x1 & x4) ^ (x2 & x5) ^ x0;
}
constexpr uint32_t F4(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                      uint32_t x0) {
  return (x4 & ((x5 & ~x2) ^ (x3 & ~x6) ^ x1 ^ x6 ^ x0)) ^ (x3 & ((x1 & x2) ^ x5 ^ x6)) ^
         (x2 & x6) ^ x0;
}
constexpr uint32_t F5(uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
                      uint32_t x0) {
  return (x0 & ((x1 & x2 & x3) ^ ~x5)) ^ (x1 & x4) ^ (x2 & x5) ^ (x3 & x6);
}

// The function of pass p (0-based) applied through that pass's permutation
// of the seven words, for the five-pass variant.
uint32_t Phi(int pass, uint32_t x6, uint32_t x5, uint32_t x4, uint32_t x3, uint32_t x2, uint32_t x1,
             uint32_t x0) {
  switch (pass) {
    case 0:
      return F1(x3, x4, x1, x0, x5, x2, x6);
    case 1:
      return F2(x6, x2, x1, x0, x3, x4, x5);
    case 2:
      return F3(x2, x6, x0, x4, x3, x1, x5);
    case 3:
      return F4(x1, x5, x3, x2, x0, x4, x6);
    default:
      return F5(x2, x5, x0, x6, x4, x3, x1);
  }
}

}  // namespace

Haval256::Haval256() {
  Init();
}

void Haval256::Init() {
  std::memcpy(state_, kInit, sizeof state_);
  bufferUsed_ = 0;
  bitCount_ = 0;
}

void Haval256::Compress(const uint8_t* block) {
  uint32_t w[32];
  for (size_t i = 0; i < 32; ++i)
    w[i] = GetU32(std::span<const uint8_t>(block, 128), 4 * i);
  // t[0..7]; each step replaces the word that plays x7 and shifts the roles.
  uint32_t t[8];
  std::memcpy(t, state_, sizeof t);
  for (int pass = 0; pass < 5; ++pass) {
    for (int i = 0; i < 32; ++i) {
      // In step i, x7 .. x0 are t[(7 - i) mod 8] .. t[(0 - i) mod 8].
      auto x = [&](int k) -> uint32_t& { return t[(k - i + 64) & 7]; };
      const uint32_t f = Phi(pass, x(6), x(5), x(4), x(3), x(2), x(1), x(0));
      const uint32_t word = pass == 0 ? w[i] : w[kOrder[pass - 1][i]];
      const uint32_t c = pass == 0 ? 0 : kConst[(pass - 1) * 32 + i];
      x(7) = Ror(f, 7) + Ror(x(7), 11) + word + c;
    }
  }
  for (int i = 0; i < 8; ++i)
    state_[i] += t[i];
}

void Haval256::Update(const uint8_t* data, size_t size) {
  bitCount_ += static_cast<uint64_t>(size) * 8;
  while (size > 0) {
    const size_t take = std::min(size, sizeof buffer_ - bufferUsed_);
    std::memcpy(buffer_ + bufferUsed_, data, take);
    bufferUsed_ += take;
    data += take;
    size -= take;
    if (bufferUsed_ == sizeof buffer_) {
      Compress(buffer_);
      bufferUsed_ = 0;
    }
  }
}

void Haval256::Final(uint8_t digest[kDigestSize]) {
  const uint64_t bits = bitCount_;
  // A 1 bit (the low bit of the byte), zeros up to 118 bytes into a block,
  // then version 1, 5 passes and the 256-bit length in two bytes, then the
  // message length in bits, all least significant first.
  uint8_t tail[10];
  tail[0] = static_cast<uint8_t>(((kDigestSize * 8 & 0x3) << 6) | (5 << 3) | 1);
  tail[1] = static_cast<uint8_t>((kDigestSize * 8) >> 2);
  for (int i = 0; i < 8; ++i)
    tail[2 + i] = static_cast<uint8_t>(bits >> (8 * i));

  const uint8_t one = 0x01;
  Update(&one, 1);
  const uint8_t zero = 0;
  while (bufferUsed_ != 118)
    Update(&zero, 1);
  Update(tail, sizeof tail);

  for (int i = 0; i < 8; ++i) {
    for (int b = 0; b < 4; ++b)
      digest[4 * i + b] = static_cast<uint8_t>(state_[i] >> (8 * b));
  }
  Init();
}
