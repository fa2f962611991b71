// The ways a body is inflated, whole, streamed by zlib and streamed by the
// fast inflater: the same bytes, the same refusals, and the check value
// looked at on each; and the bound between them as the extractor meets it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "package/BodyPieces.h"
#include "package/Errors.h"
#include "package/Inflate.h"
#include "package/InflateFast.h"
#include "package/Verify.h"
#include "package/tests/PackageFixture.h"

namespace {

constexpr TInflateWay kWays[] = {TInflateWay::Whole, TInflateWay::Zlib, TInflateWay::Fast,
                                 TInflateWay::Pieces};
constexpr TInflateWay kStreams[] = {TInflateWay::Zlib, TInflateWay::Fast};

const char* Name(TInflateWay way) {
  return way == TInflateWay::Whole  ? "whole"
         : way == TInflateWay::Zlib ? "zlib"
         : way == TInflateWay::Fast ? "fast"
                                    : "pieces";
}

// A way's result: the bytes, or "refused: " and the message.
std::string Way(const std::string& body, int64_t unpacked, TInflateWay way,
                TBodyEnd end = TBodyEnd::Extract) {
  try {
    return InflateBody(body, unpacked, way, end);
  } catch (const PackageReadError& e) {
    return "refused: " + ToUtf8(e.Message());
  }
}

// A streaming way fed one byte at a time, so that every boundary of the
// stream, the check value's included, falls between two reads.
std::string ByteByByte(const std::string& body, int64_t unpacked, TInflateWay way,
                       TBodyEnd end = TBodyEnd::Extract) {
  std::string out;
  size_t at = 0;
  const TInflateInput input = [&](uint8_t* buffer, size_t) {
    if (at == body.size())
      return size_t{0};
    buffer[0] = static_cast<uint8_t>(body[at++]);
    return size_t{1};
  };
  const TInflateOutput output = [&](const uint8_t* data, size_t n) {
    out.append(reinterpret_cast<const char*>(data), n);
  };
  try {
    if (way == TInflateWay::Zlib)
      InflateStream(input, unpacked, output, end);
    else
      InflateStreamFast(
          input, [&] { at = 0; }, unpacked, output, end);
  } catch (const PackageReadError& e) {
    return "refused: " + ToUtf8(e.Message());
  }
  return out;
}

// Every way, and each streaming one fed byte by byte, gives expected.
void ExpectAllWays(const std::string& body, int64_t unpacked, const std::string& expected,
                   TBodyEnd end = TBodyEnd::Extract, const char* what = "") {
  for (const TInflateWay way : kWays)
    EXPECT_EQ(Way(body, unpacked, way, end), expected) << what << ", " << Name(way);
  for (const TInflateWay way : kStreams)
    EXPECT_EQ(ByteByByte(body, unpacked, way, end), expected)
        << what << ", " << Name(way) << " byte by byte";
}

bool Refused(const std::string& result) {
  return result.rfind("refused: ", 0) == 0;
}

// data deflated by zlib with a flush (Z_FULL_FLUSH: nothing after it looks
// back before it; Z_SYNC_FLUSH: it may) after every `every` bytes.
std::string DeflateFlushed(const std::string& data, size_t every, int flush, int level = 6) {
  z_stream zs{};
  deflateInit(&zs, level);
  std::string out(compressBound(static_cast<uLong>(data.size())) + data.size() / every * 6 + 64,
                  '\0');
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  for (size_t at = 0; at < data.size(); at += every) {
    const size_t n = std::min(every, data.size() - at);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    zs.avail_in = static_cast<uInt>(n);
    deflate(&zs, at + n == data.size() ? Z_FINISH : flush);
  }
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace

TEST(Inflate, BothWaysGiveTheSameBytes) {
  const std::string text = RandomBytes(1500000, 11, true);   // longer than one output buffer
  const std::string noise = RandomBytes(300000, 12, false);  // stored blocks
  for (const std::string* data : {&text, &noise}) {
    for (int level : {0, 1, 6, 9}) {
      const std::string body = Deflate(*data, level);
      for (const TInflateWay way : kWays)
        EXPECT_EQ(InflateBody(body, static_cast<int64_t>(data->size()), way), *data) << Name(way);
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
  const std::string whole = Way(body, 100000, TInflateWay::Whole);
  EXPECT_TRUE(Refused(whole)) << whole.substr(0, 60);
  ExpectAllWays(body, 100000, whole);
}

TEST(Inflate, ABodyWithoutItsCheckValueIsRefusedBothWays) {
  const std::string data = RandomBytes(5000, 14, true);
  const std::string body = Deflate(data);
  for (size_t cut : {1, 2, 4}) {
    const std::string shortBody = body.substr(0, body.size() - cut);
    for (const TInflateWay way : kWays)
      EXPECT_TRUE(Refused(Way(shortBody, 5000, way))) << cut << ", " << Name(way);
    for (const TInflateWay way : kStreams)
      EXPECT_TRUE(Refused(ByteByByte(shortBody, 5000, way))) << cut << ", " << Name(way);
  }
}

TEST(Inflate, ShortLongAndBrokenBodies) {
  // Fewer bytes than the unpacked size.
  ExpectAllWays(Deflate("abc"), 10, "refused: the body inflates to 3 bytes instead of 10");
  // One byte more, and bytes after the stream besides.
  const std::string big = RandomBytes(200000, 15, true);
  ExpectAllWays(Deflate(big) + "x", 199999,
                "refused: the body unpacks to more than its 199999 bytes");
  // Not zlib at all, or cut in the middle.
  const std::string cut = Deflate(RandomBytes(5000, 16, false)).substr(0, 100);
  for (const auto& [body, unpacked] :
       {std::pair<std::string, int64_t>{"this is not zlib data", 5}, {cut, 5000}, {"", 5}}) {
    const std::string whole = Way(body, unpacked, TInflateWay::Whole);
    EXPECT_TRUE(Refused(whole)) << body.size();
    for (const TInflateWay way : kStreams)
      EXPECT_EQ(Way(body, unpacked, way), whole) << body.size() << ", " << Name(way);
  }
}

// Each end rule gives the same outcome every way: whole, streamed and fed
// byte by byte. The extractor's rule leaves stored bytes after the stream
// alone; the exact rule (`verify`'s) refuses them. Both refuse a stream that
// would give more than the unpacked size: its first bytes may be a damaged
// body's.
TEST(Inflate, BothEndRulesEveryWay) {
  const std::string abc = Deflate("abc");
  const std::string big = RandomBytes(200000, 19, true);
  std::string badCheck = Deflate(big);
  badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
  const std::string bad = "refused: the body is not a valid zlib stream (incorrect data check)";
  // A window of 64 KiB, which zlib refuses and ISA-L would not look at.
  std::string wideWindow = abc;
  wideWindow[0] = '\x88';
  wideWindow[1] = '\x1c';
  const std::string window = "refused: the body is not a valid zlib stream (invalid window size)";
  const struct {
    const char* what;
    std::string body;
    int64_t unpacked;
    std::string extract, exact;
  } rows[] = {
      {"sound", abc, 3, "abc", "abc"},
      {"bytes after the stream", abc + "xyz", 3, "abc",
       "refused: the body's zlib stream ends 3 bytes before its stored size of 14"},
      // Few enough to sit in the fast inflater's bit buffer when it ends.
      {"a byte after the stream", abc + "x", 3, "abc",
       "refused: the body's zlib stream ends 1 bytes before its stored size of 12"},
      {"more than the unpacked size", Deflate(big), 1000,
       "refused: the body unpacks to more than its 1000 bytes",
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
      {"a window larger than zlib's", wideWindow, 3, window, window},
  };
  for (const auto& r : rows) {
    for (const TBodyEnd end : {TBodyEnd::Extract, TBodyEnd::Exact})
      ExpectAllWays(r.body, r.unpacked, end == TBodyEnd::Exact ? r.exact : r.extract, end, r.what);
  }
}

// The fast inflater finishes every sound body itself, read in pieces or
// byte by byte, and leaves to zlib each one it must not take.
TEST(Inflate, TheFastInflaterFinishesSoundBodiesItself) {
  if (!HaveFastInflater())
    GTEST_SKIP() << "this build streams through zlib only";
  const std::string text = RandomBytes(300000, 21, true);
  const std::string noise = RandomBytes(100000, 22, false);
  std::string badCheck = Deflate(text);
  badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
  const struct {
    const char* what;
    std::string body;
    int64_t unpacked;
    TBodyEnd end;
    bool finished;
    const std::string* data = nullptr;  // text when none
  } rows[] = {
      {"text", Deflate(text, 6), 300000, TBodyEnd::Exact, true},
      {"stored blocks", Deflate(noise, 0), 100000, TBodyEnd::Exact, true, &noise},
      {"bytes after the stream", Deflate(text) + "xyz", 300000, TBodyEnd::Extract, true},
      {"bytes after the stream, exact", Deflate(text) + "xyz", 300000, TBodyEnd::Exact, false},
      {"more than the unpacked size", Deflate(text), 299999, TBodyEnd::Extract, false},
      {"fewer", Deflate(text), 300001, TBodyEnd::Extract, false},
      {"a bad check value", badCheck, 300000, TBodyEnd::Extract, false},
  };
  for (const auto& r : rows) {
    for (const size_t piece : {size_t{100000}, size_t{1}}) {
      std::string out;
      size_t at = 0;
      const TFastOutcome outcome = InflateFast(
          [&](uint8_t* buffer, size_t room) {
            const size_t n = std::min({room, piece, r.body.size() - at});
            std::copy_n(r.body.data() + at, n, buffer);
            at += n;
            return n;
          },
          r.unpacked,
          [&](const uint8_t* data, size_t n) {
            out.append(reinterpret_cast<const char*>(data), n);
          },
          r.end);
      EXPECT_EQ(outcome.finished, r.finished) << r.what << ", pieces of " << piece;
      EXPECT_EQ(outcome.given, static_cast<int64_t>(out.size())) << r.what;
      if (r.finished) {
        EXPECT_TRUE(out == (r.data ? *r.data : text)) << r.what;
      }
    }
  }
}

using InflateBound = Scratch;

// Bodies on both sides of the bound: without a fast inflater the extractor
// takes the whole way up to it and streams above it (with one, it streams
// them all), `verify` reads them by the same way, and a bad check value
// fails the row with the same words in both and leaves no file.
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

// A body cut where its compressor flushed joins into the bytes of the whole
// stream, or, where its pieces do not join (they look back past a cut, or
// bytes only look like a cut), is settled the usual way: every way gives
// the same bytes and the same refusals.
TEST(Inflate, PiecesJoinOnlyWhereTheStreamAllows) {
  const std::string text = RandomBytes(60000, 31, true);
  // Stored blocks whose bytes hold the look of a cut.
  std::string noise = RandomBytes(30000, 32, false);
  noise.replace(15000, 5, std::string("\0\0\0\xff\xff", 5));
  const std::string full = DeflateFlushed(text, 8000, Z_FULL_FLUSH);
  std::string badCheck = full;
  badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
  std::string badPiece = full;
  badPiece[full.size() / 2] = static_cast<char>(badPiece[full.size() / 2] ^ 0x20);
  const struct {
    const char* what;
    std::string body;
    int64_t unpacked;
    bool joins;
    const std::string* data = nullptr;  // text when none
  } rows[] = {
      {"fresh after every flush", full, 60000, true},
      {"looking back past the flushes", DeflateFlushed(text, 8000, Z_SYNC_FLUSH), 60000, false},
      {"stored, a cut's look inside", DeflateFlushed(noise, 10000, Z_FULL_FLUSH, 0), 30000, false,
       &noise},
      {"a bad check value", badCheck, 60000, false},
      {"a bad middle piece", badPiece, 60000, false},
      {"fewer than unpacked", full, 60001, false},
      {"more than unpacked", full, 59999, false},
      {"cut short", full.substr(0, full.size() - 7), 60000, false},
  };
  for (const auto& r : rows) {
    const std::string& data = r.data ? *r.data : text;
    const std::string expected = Way(r.body, r.unpacked, TInflateWay::Zlib);
    if (r.joins || r.data) {
      EXPECT_TRUE(expected == data) << r.what;
    }
    for (const TBodyEnd end : {TBodyEnd::Extract, TBodyEnd::Exact}) {
      ExpectAllWays(r.body, r.unpacked, Way(r.body, r.unpacked, TInflateWay::Zlib, end), end,
                    r.what);
    }
    if (HaveFastInflater()) {
      TBodyJoin join(r.unpacked, TBodyEnd::Exact);
      JoinInMemory(r.body, join, [](auto, auto) {});
      EXPECT_EQ(join.Finished(), r.joins) << r.what;
    }
  }
}
