#include "package/Haval.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Bytes.h"
#include "common/Text.h"

namespace {

std::string Digest(const std::string& message) {
  Haval256 h;
  h.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  uint8_t d[32];
  h.Final(d);
  return ToUtf8(ToHex(d));
}

}  // namespace

TEST(Haval256, PublishedDigests) {
  EXPECT_EQ(Digest(""), "be417bb4dd5cfb76c7126f4f8eeb1553a449039307b1a3cd451dbfdc0fbbe330");
  EXPECT_EQ(Digest("a"), "de8fd5ee72a5e4265af0a756f4e1a1f65c9b2b2f47cf17ecf0d1b88679a3e22f");
}

TEST(Haval256, PiecewiseFeedingEqualsOneFeed) {
  // Lengths around the 118-byte padding limit and the 128-byte block.
  for (size_t len : {0u, 1u, 117u, 118u, 119u, 127u, 128u, 129u, 245u, 246u, 1000u}) {
    std::string message(len, '\0');
    for (size_t i = 0; i < len; ++i)
      message[i] = static_cast<char>(i * 7 + 3);
    const std::string whole = Digest(message);
    Haval256 h;
    for (size_t i = 0; i < len;) {
      const size_t step = std::min<size_t>(len - i, 1 + i % 13);
      h.Update(reinterpret_cast<const uint8_t*>(message.data() + i), step);
      i += step;
    }
    uint8_t d[32];
    h.Final(d);
    EXPECT_EQ(ToUtf8(ToHex(d)), whole) << len;
  }
}

TEST(Haval256, DistinctInputsAndReuseAfterFinal) {
  EXPECT_NE(Digest("abc"), Digest("abd"));
  EXPECT_NE(Digest(std::string(118, 'x')), Digest(std::string(119, 'x')));
  Haval256 h;
  uint8_t first[32], second[32];
  h.Update(reinterpret_cast<const uint8_t*>("a"), 1);
  h.Final(first);
  h.Update(reinterpret_cast<const uint8_t*>("a"), 1);  // Final started it over
  h.Final(second);
  EXPECT_EQ(std::string(first, first + 32), std::string(second, second + 32));
}
