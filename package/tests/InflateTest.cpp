// The two ways a body is inflated, whole and streaming: the same bytes, the
// same refusals, and the check value looked at on both; and the bound between
// them as the extractor meets it.
#include <gtest/gtest.h>

#include <string>

#include "common/Errors.h"
#include "package/Inflate.h"
#include "package/Verify.h"
#include "package/tests/PackageFixture.h"

namespace {

// Each way's result: the bytes, or "refused: " and the message.
std::string Way(const std::string& body, int64_t unpacked, bool whole,
                TBodyEnd end = TBodyEnd::Extract) {
  try {
    return InflateBody(body, unpacked, whole, end);
  } catch (const PackageReadError& e) {
    return "refused: " + ToUtf8(e.Message());
  }
}

// The streaming way fed one byte at a time, so that every boundary of the
// stream, the check value's included, falls between two reads.
std::string ByteByByte(const std::string& body, int64_t unpacked,
                       TBodyEnd end = TBodyEnd::Extract) {
  std::string out;
  size_t at = 0;
  try {
    InflateStream(
        [&](uint8_t* buffer, size_t) {
          if (at == body.size())
            return size_t{0};
          buffer[0] = static_cast<uint8_t>(body[at++]);
          return size_t{1};
        },
        unpacked,
        [&](const uint8_t* data, size_t n) { out.append(reinterpret_cast<const char*>(data), n); },
        end);
  } catch (const PackageReadError& e) {
    return "refused: " + ToUtf8(e.Message());
  }
  return out;
}

void ExpectAllWays(const std::string& body, int64_t unpacked, const std::string& expected) {
  EXPECT_EQ(Way(body, unpacked, true), expected);
  EXPECT_EQ(Way(body, unpacked, false), expected);
  EXPECT_EQ(ByteByByte(body, unpacked), expected);
}

bool Refused(const std::string& result) {
  return result.rfind("refused: ", 0) == 0;
}

}  // namespace

TEST(Inflate, BothWaysGiveTheSameBytes) {
  const std::string text = RandomBytes(1500000, 11, true);   // longer than one output buffer
  const std::string noise = RandomBytes(300000, 12, false);  // stored blocks
  for (const std::string* data : {&text, &noise}) {
    for (int level : {0, 1, 6, 9}) {
      const std::string body = Deflate(*data, level);
      EXPECT_EQ(InflateBody(body, static_cast<int64_t>(data->size()), true), *data);
      EXPECT_EQ(InflateBody(body, static_cast<int64_t>(data->size()), false), *data);
    }
  }
  ExpectAllWays(Deflate("abc"), 3, "abc");
  // Bytes after the end of the stream, inside the stored size, are not looked at.
  ExpectAllWays(Deflate("abc") + "trailing", 3, "abc");
  // Nothing to give: the body is not looked at.
  ExpectAllWays("not zlib", 0, "");
}

TEST(Inflate, ACheckValueThatDoesNotMatchIsRefusedBothWays) {
  const std::string data = RandomBytes(100000, 13, true);
  std::string body = Deflate(data);
  body.back() = static_cast<char>(body.back() ^ 1);
  const std::string whole = Way(body, 100000, true);
  EXPECT_TRUE(Refused(whole)) << whole.substr(0, 60);
  EXPECT_EQ(Way(body, 100000, false), whole);
  EXPECT_EQ(ByteByByte(body, 100000), whole);
}

TEST(Inflate, ABodyWithoutItsCheckValueIsRefusedBothWays) {
  const std::string data = RandomBytes(5000, 14, true);
  const std::string body = Deflate(data);
  for (size_t cut : {1, 2, 4}) {
    const std::string shortBody = body.substr(0, body.size() - cut);
    EXPECT_TRUE(Refused(Way(shortBody, 5000, true))) << cut;
    EXPECT_TRUE(Refused(Way(shortBody, 5000, false))) << cut;
    EXPECT_TRUE(Refused(ByteByByte(shortBody, 5000))) << cut;
  }
}

TEST(Inflate, ShortLongAndBrokenBodies) {
  // Fewer bytes than the unpacked size.
  ExpectAllWays(Deflate("abc"), 10, "refused: the body inflates to 3 bytes instead of 10");
  // More: only the unpacked size comes out, the rest is neither produced
  // nor examined.
  const std::string big = RandomBytes(200000, 15, true);
  ExpectAllWays(Deflate(big), 1000, big.substr(0, 1000));
  ExpectAllWays(Deflate(big) + "x", 199999, big.substr(0, 199999));
  // Not zlib at all, or cut in the middle.
  EXPECT_TRUE(Refused(Way("this is not zlib data", 5, true)));
  EXPECT_EQ(Way("this is not zlib data", 5, true), Way("this is not zlib data", 5, false));
  const std::string cut = Deflate(RandomBytes(5000, 16, false)).substr(0, 100);
  EXPECT_EQ(Way(cut, 5000, true), Way(cut, 5000, false));
  EXPECT_TRUE(Refused(Way(cut, 5000, true)));
  EXPECT_TRUE(Refused(Way("", 5, true)));
  EXPECT_TRUE(Refused(Way("", 5, false)));
}

// Each end rule gives the same outcome every way: whole, streamed and fed
// byte by byte. The extractor's rule leaves what lies past the unpacked size
// alone; the exact rule (`verify`'s) refuses it.
TEST(Inflate, BothEndRulesEveryWay) {
  const std::string abc = Deflate("abc");
  const std::string big = RandomBytes(200000, 19, true);
  std::string badCheck = Deflate(big);
  badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
  const std::string bad = "refused: the body is not a valid zlib stream (incorrect data check)";
  const struct {
    const char* what;
    std::string body;
    int64_t unpacked;
    std::string extract, exact;
  } rows[] = {
      {"sound", abc, 3, "abc", "abc"},
      {"bytes after the stream", abc + "xyz", 3, "abc",
       "refused: the body's zlib stream ends 3 bytes before its stored size of 14"},
      {"more than the unpacked size", Deflate(big), 1000, big.substr(0, 1000),
       "refused: the body unpacks to more than its 1000 bytes"},
      {"a body for an empty file", abc, 0, "",
       "refused: the body unpacks to more than its 0 bytes"},
      {"fewer", abc, 10, "refused: the body inflates to 3 bytes instead of 10",
       "refused: the body inflates to 3 bytes instead of 10"},
      {"a bad check value", badCheck, 200000, bad, bad},
      {"without its check value", abc.substr(0, abc.size() - 4), 3,
       "refused: the body ends before its check value",
       "refused: the body's 7 stored bytes end before its zlib stream does (3 bytes unpacked so "
       "far)"},
  };
  for (const auto& r : rows) {
    for (const TBodyEnd end : {TBodyEnd::Extract, TBodyEnd::Exact}) {
      const std::string& expected = end == TBodyEnd::Exact ? r.exact : r.extract;
      EXPECT_EQ(Way(r.body, r.unpacked, true, end), expected) << r.what;
      EXPECT_EQ(Way(r.body, r.unpacked, false, end), expected) << r.what;
      EXPECT_EQ(ByteByByte(r.body, r.unpacked, end), expected) << r.what;
    }
  }
}

using InflateBound = Scratch;

// Bodies on both sides of the bound: the extractor takes the whole way up
// to it and streams above it, `verify` reads them by the same way, and a bad
// check value fails the row with the same words in both and leaves no file.
TEST_F(InflateBound, BodiesOnBothSidesOfTheBound) {
  const TInflateBound bound{(64 << 10) + 100, 64 << 10};  // the default's shape, smaller
  options.inflateBound = bound;
  const size_t at = static_cast<size_t>(bound.unpacked);
  const TBodyInflater inflater(bound);
  EXPECT_FALSE(inflater.FitsWhole(1000, bound.unpacked + 1));
  EXPECT_FALSE(inflater.FitsWhole(bound.stored + 1, 1000));
  const struct {
    const char* what;
    std::string data;
    bool whole;
  } rows[] = {
      {"small", RandomBytes(5000, 17, true), true},
      {"text at the bound", RandomBytes(at, 18, true), true},
      {"noise at the bound", RandomBytes(at, 19, false), true},
      {"text past the bound", RandomBytes(at + 1, 20, true), false},
  };
  for (const auto& r : rows) {
    const std::string body = Deflate(r.data, 1);
    EXPECT_EQ(
        inflater.FitsWhole(static_cast<int64_t>(body.size()), static_cast<int64_t>(r.data.size())),
        r.whole)
        << r.what;
    fs::remove_all(Dest());
    const auto pkg = Make({{u"", u"ok.txt", "ok"}, {u"", u"body.bin", r.data, u"", body}});
    Extract(pkg);
    EXPECT_TRUE(ReadAll(Dest(u"body.bin")) == r.data) << r.what;
    EXPECT_EQ(VerifyPackage(pkg, u"", options).files, 2) << r.what;

    fs::remove_all(Dest());
    std::string bad = body;
    bad[bad.size() - 2] = static_cast<char>(bad[bad.size() - 2] ^ 0x10);
    const auto badPkg = Make({{u"", u"ok.txt", "ok"}, {u"", u"body.bin", r.data, u"", bad}});
    const std::u16string error = ErrorOf([&] { Extract(badPkg); });
    EXPECT_EQ(error,
              u"row 2 (body.bin): the body is not a valid zlib stream (incorrect data check)")
        << r.what;
    EXPECT_EQ(ErrorOf([&] { VerifyPackage(badPkg, u"", options); }), error) << r.what;
    EXPECT_EQ(Files(Dest()), std::vector<std::string>{}) << r.what;
  }
}
