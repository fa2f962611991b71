#include "common/CodePage.h"

#include <gtest/gtest.h>

#include "common/Errors.h"

TEST(CodePage, Cp1252BothWays) {
  const CodePage& cp = Cp1252();
  EXPECT_EQ(cp.Number(), 1252u);
  EXPECT_EQ(cp.Widen("A\x80\x81\xE9\x9F"), u"A\u20AC\u0081\u00E9\u0178");
  EXPECT_EQ(cp.Narrow(u"A\u20AC\u00E9\u0178"), "A\x80\xE9\x9F");
  EXPECT_EQ(cp.Narrow(u"诺x"), "?x");
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(cp.Narrow(cp.Widen(one)), one) << b;
  }
}

#ifndef _WIN32
TEST(CodePage, OtherCodePagesThroughIconv) {
  const auto gbk = CreateCodePage(936);
  EXPECT_EQ(gbk->Number(), 936u);
  const std::u16string text = u"诺凡画图.exe";
  const std::string bytes = gbk->Narrow(text);
  EXPECT_EQ(bytes.size(), 12u);  // two bytes a Chinese character
  EXPECT_EQ(gbk->Widen(bytes), text);
  EXPECT_EQ(gbk->Narrow(u"a\u20ACb").size(), 3u);  // the euro sign is 0x80 in 936
  EXPECT_THROW(CreateCodePage(4242), Error);
}
#endif
