// HAVAL with a 256-bit fingerprint and 5 passes.
#pragma once

#include <cstddef>
#include <cstdint>

class Haval256 {
 public:
  static constexpr size_t kDigestSize = 32;

  Haval256();
  void Init();
  void Update(const uint8_t* data, size_t size);
  // Writes the fingerprint and starts over.
  void Final(uint8_t digest[kDigestSize]);

 private:
  void Compress(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[128];
  size_t bufferUsed_ = 0;
  uint64_t bitCount_ = 0;
};
