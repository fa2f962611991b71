// The version information: its bytes as a resource compiler makes them of
// the same statement, and the numbers read from version texts.
#include <gtest/gtest.h>

#include "common/tests/ErrorOf.h"
#include "pe/VersionResource.h"

namespace {

std::string FromHex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

}  // namespace

// What windres makes of FILEVERSION/PRODUCTVERSION 3,50,0,0, an English block
// with CompanyName and FileVersion, a Chinese one with ProductName "诺凡",
// and the two translations: lengths, padding and value lengths alike.
TEST(VersionResource, BytesAsTheResourceCompilerMakesThem) {
  const std::string expected = FromHex(
      "900134000000560053005f00560045005200530049004f004e005f0049004e0046004f00"
      "00000000bd04effe00000100320003000000000032000300000000003f00000000000000"
      "0400040001000000000000000000000000000000ea000000010053007400720069006e00"
      "6700460069006c00650049006e0066006f00000086000000010030003400300039003000"
      "340042003000000042001100010043006f006d00700061006e0079004e0061006d006500"
      "000000004e006f007200760061006e006500200053006f00660074007700610072006500"
      "000000002a0005000100460069006c006500560065007200730069006f006e0000000000"
      "33002e0035003000000000003e0000000100300038003000340030003400420030000000"
      "260003000100500072006f0064007500630074004e0061006d00650000000000fa8be151"
      "00000000480000000100560061007200460069006c00650049006e0066006f0000000000"
      "2800080000005400720061006e0073006c006100740069006f006e00000000000904b004"
      "0408b004");
  TVersionInfo info;
  info.fileVersion = info.productVersion = {3, 50, 0, 0};
  info.blocks = {{1033, {{u"CompanyName", u"Norvane Software"}, {u"FileVersion", u"3.50"}}},
                 {2052, {{u"ProductName", u"诺凡"}}}};
  EXPECT_EQ(MakeVersionResource(info), expected);
}

TEST(VersionResource, NumbersOfVersionTexts) {
  struct Row {
    const char16_t* text;
    TVersionNumbers numbers;
    const char16_t* error;  // a part of the message, or null
  } rows[] = {
      {u"3.50", {3, 50, 0, 0}, nullptr},    {u"1.2.3.4", {1, 2, 3, 4}, nullptr},
      {u"2.1 beta", {2, 1, 0, 0}, nullptr}, {u"3.", {3, 0, 0, 0}, nullptr},
      {u"03.050", {3, 50, 0, 0}, nullptr},  {u"V3.5", {0, 0, 0, 0}, nullptr},
      {u"", {0, 0, 0, 0}, nullptr},         {u"65535.0", {65535, 0, 0, 0}, nullptr},
      {u"65536", {}, u"above 65535"},       {u"1.2.3.4.5", {}, u"more than four"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.text, r.text + std::char_traits<char16_t>::length(r.text)));
    TVersionNumbers got{};
    const std::u16string error = ErrorOf([&] { got = ParseVersionNumbers(r.text); });
    if (r.error == nullptr) {
      EXPECT_EQ(error, u"");
      EXPECT_EQ(got, r.numbers);
    } else {
      EXPECT_NE(error.find(r.error), std::u16string::npos);
    }
  }
}
