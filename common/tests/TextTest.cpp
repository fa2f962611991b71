#include "common/Text.h"

#include <gtest/gtest.h>

#include "common/Errors.h"

TEST(Text, Utf8RoundTripKeepsChineseAndAstralCharacters) {
  const std::u16string text = u"诺凡画图 Setup \U0001F600 end";
  const std::string utf8 = ToUtf8(text);
  EXPECT_EQ(utf8, "诺凡画图 Setup \xF0\x9F\x98\x80 end");
  EXPECT_EQ(FromUtf8(utf8), text);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(ToUtf8(std::u16string(1, u'\xD800') + u"a"),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");                    // cut short
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong "/"
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
}

TEST(Text, IntToTextCoversTheWholeRange) {
  EXPECT_EQ(IntToText(0), u"0");
  EXPECT_EQ(IntToText(-1), u"-1");
  EXPECT_EQ(IntToText(2147483647), u"2147483647");
  EXPECT_EQ(IntToText(INT64_MIN), u"-9223372036854775808");
}

TEST(Text, ReplaceAllWithAndWithoutCase) {
  EXPECT_EQ(ReplaceAll(u"$system$\\a\\$SYSTEM$", u"$System$", u"C:\\W\\", true),
            u"C:\\W\\\\a\\C:\\W\\");
  EXPECT_EQ(ReplaceAll(u"$SYSTEM$", u"$System$", u"X", false), u"$SYSTEM$");
  EXPECT_EQ(ReplaceAll(u"aaa", u"aa", u"b", false), u"ba");
  EXPECT_EQ(ReplaceAll(u"abc", u"", u"x", false), u"abc");
}

TEST(Text, AsciiUpperTouchesOnlyAsciiLetters) {
  EXPECT_EQ(AsciiUpper(u"d:\\apps é"), u"D:\\APPS é");
}

TEST(Errors, MessageIsKeptAndReadableAsUtf8AndTakesItsContext) {
  ConvertError e(u"无法创建");
  EXPECT_STREQ(e.what(), "无法创建");
  try {
    WithContext([] { return u"row 2"; }, [&]() -> int { throw e; });
  } catch (const ConvertError& c) {
    EXPECT_EQ(c.Message(), u"row 2: 无法创建");
    EXPECT_STREQ(c.what(), "row 2: 无法创建");
  }
}
