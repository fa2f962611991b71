#include "common/ByteSize.h"

#include <gtest/gtest.h>

TEST(FormatByteSize, WorkedExamples) {
  struct Case {
    int64_t size;
    const char16_t* text;
  } cases[] = {
      {0, u"0 Bytes"},
      {1, u"1 Bytes"},
      {1023, u"1023 Bytes"},
      {-1, u"-1 Bytes"},
      {INT64_MIN, u"-9223372036854775808 Bytes"},
      {1024, u"1 KB"},
      {1535, u"1 KB"},
      {1536, u"2 KB"},
      {2560, u"2 KB"},
      {3584, u"4 KB"},
      {1048575, u"1024 KB"},
      {1048576, u"1 MB"},
      {1153434, u"1.1 MB"},
      {1310720, u"1.2 MB"},
      {1835008, u"1.8 MB"},
      {6291456, u"6 MB"},
      {104857600, u"100 MB"},
      {105381888, u"100 MB"},
      {106430464, u"102 MB"},
      {1073741823, u"1024 MB"},
      {1073741824, u"1 GB"},
      {1342177280, u"1.2 GB"},
      {1610612736, u"1.5 GB"},
      {108447924224, u"101 GB"},
      {INT64_MAX, u"8589934592 GB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatByteSize(c.size), c.text) << c.size;
  }
}

TEST(FormatByteSize, WholeNumbersShowNoDecimalAndTenthsShowOne) {
  EXPECT_EQ(FormatByteSize(10 * 1048576), u"10 MB");
  EXPECT_EQ(FormatByteSize(99 * 1048576 + 1048576 / 2), u"99.5 MB");
  EXPECT_EQ(FormatByteSize(int64_t{50} * 1073741824 + 107374182), u"50.1 GB");
}

// The tenths take the separator given (the user's locale's); whole numbers
// and bytes show none.
TEST(FormatByteSize, TheDecimalSeparatorGiven) {
  struct Case {
    int64_t size;
    const char16_t* separator;
    const char16_t* text;
  } cases[] = {
      {1310720, u",", u"1,2 MB"},   {1342177280, u",", u"1,2 GB"},
      {6291456, u",", u"6 MB"},     {1536, u",", u"2 KB"},
      {-1, u",", u"-1 Bytes"},      {1153434, u"\u066B", u"1\u066B1 MB"},
      {1835008, u"::", u"1::8 MB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatByteSize(c.size, c.separator), c.text) << c.size;
}
