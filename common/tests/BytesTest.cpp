#include "common/Bytes.h"

#include <gtest/gtest.h>

TEST(Bytes, LittleEndianRoundTrips) {
  std::string s;
  PutU16(s, 0xBEEF);
  PutU32(s, 0x89ABCDEF);
  EXPECT_EQ(s, std::string("\xEF\xBE\xEF\xCD\xAB\x89"));
  EXPECT_EQ(GetU16(s, 0), 0xBEEF);
  EXPECT_EQ(GetU32(s, 2), 0x89ABCDEFu);
  SetU32(s, 1, 0x01020304);
  EXPECT_EQ(s, std::string("\xEF\x04\x03\x02\x01\x89"));
}

TEST(Bytes, Hex) {
  struct Case {
    uint64_t v;
    size_t digits;
    THexCase letters;
    const char16_t* text;
  } cases[] = {
      {0, 1, THexCase::kLower, u"0"},
      {0x1b, 4, THexCase::kLower, u"001b"},
      {0x4b0, 4, THexCase::kUpper, u"04B0"},
      {0xdeadbeef, 8, THexCase::kLower, u"deadbeef"},
      {0x123456789, 8, THexCase::kLower, u"123456789"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToHex(c.v, c.digits, c.letters), c.text) << c.v;
  const uint8_t bytes[] = {0x00, 0x9f, 0xa0};
  EXPECT_EQ(ToHex(bytes), u"009fa0");
}

TEST(Bytes, RandomNamesKeepTheirAlphabet) {
  const std::u16string a = RandomName(32, kHexDigits), b = RandomName(32, kHexDigits);
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of(kHexDigits), std::u16string::npos);
  const std::u16string c = RandomName(200, kLettersAndDigits);
  EXPECT_EQ(c.size(), 200u);
  EXPECT_EQ(c.find_first_not_of(kLettersAndDigits), std::u16string::npos);
}
