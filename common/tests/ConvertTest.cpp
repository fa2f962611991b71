#include "common/Convert.h"

#include <gtest/gtest.h>

#include "common/Errors.h"

TEST(TextToInt, AcceptsDecimalAndTheThreeHexForms) {
  struct Case {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"0", 0},
      {u"10", 10},
      {u"-1", -1},
      {u"+7", 7},
      {u"   42", 42},
      {u"007", 7},
      {u"$1F", 31},
      {u"x1f", 31},
      {u"X10", 16},
      {u"0x10", 16},
      {u"0XfF", 255},
      {u"-$10", -16},
      {u"2147483647", 2147483647},
      {u"-2147483648", INT32_MIN},
      {u"$7FFFFFFF", 2147483647},
      {u"-0x80000000", INT32_MIN},
  };
  for (const auto& c : cases) {
    auto v = TryTextToInt(c.text);
    ASSERT_TRUE(v.has_value()) << testing::PrintToString(std::u16string(c.text));
    EXPECT_EQ(*v, c.value) << testing::PrintToString(std::u16string(c.text));
  }
}

TEST(TextToInt, RejectsEverythingElse) {
  const char16_t* bad[] = {u"",
                           u" ",
                           u"-",
                           u"abc",
                           u"1a",
                           u"12 ",
                           u"1.5",
                           u"$",
                           u"0x",
                           u"x",
                           u"--1",
                           u"+-1",
                           u"2147483648",
                           u"-2147483649",
                           u"$80000000",
                           u"\t1",
                           u"1e3",
                           u"$G",
                           u"99999999999999999999"};
  for (const char16_t* text : bad) {
    EXPECT_FALSE(TryTextToInt(text).has_value()) << testing::PrintToString(std::u16string(text));
  }
}

TEST(TextToInt, ErrorQuotesTheText) {
  try {
    TextToInt(u"abc");
    FAIL() << "no error";
  } catch (const ConvertError& e) {
    EXPECT_EQ(e.Message(), u"'abc' is not a valid integer value");
  }
}

TEST(TextToBool, NumbersTrueWordsAndErrors) {
  EXPECT_TRUE(TextToBool(u"-1"));
  EXPECT_TRUE(TextToBool(u"1"));
  EXPECT_TRUE(TextToBool(u"$10"));
  EXPECT_TRUE(TextToBool(u"0.5"));
  EXPECT_TRUE(TextToBool(u"2e3"));
  EXPECT_TRUE(TextToBool(u"TRUE"));
  EXPECT_TRUE(TextToBool(u"true"));
  EXPECT_FALSE(TextToBool(u"0"));
  EXPECT_FALSE(TextToBool(u"0.000"));
  EXPECT_FALSE(TextToBool(u"false"));
  EXPECT_FALSE(TextToBool(u"FaLsE"));
  for (const char16_t* text : {u"yes", u"", u"1e", u".", u"Truee"}) {
    try {
      TextToBool(text);
      ADD_FAILURE() << "no error for " << testing::PrintToString(std::u16string(text));
    } catch (const ConvertError& e) {
      EXPECT_EQ(e.Message(), u"'" + std::u16string(text) + u"' is not a valid boolean value");
    }
  }
}
