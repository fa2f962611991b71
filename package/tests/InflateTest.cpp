// The two ways a body is inflated, whole and streaming: the same bytes, the
// same refusals, and the check value looked at on both; and the bound between
// them as the extractor meets it.
#include <gtest/gtest.h>

#include <string>

#include "common/Errors.h"
#include "package/Inflate.h"
#include "package/tests/PackageFixture.h"

namespace {

// Each way's result: the bytes, or "refused: " and the message.
std::string Way(const std::string& body, int64_t unpacked, bool whole) {
  try {
    return InflateBody(body, unpacked, whole);
  } catch (const PackageReadError& e) {
    return "refused: " + ToUtf8(e.Message());
  }
}

// The streaming way fed one byte at a time, so that every boundary of the
// stream, the check value's included, falls between two reads.
std::string ByteByByte(const std::string& body, int64_t unpacked) {
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
        [&](const uint8_t* data, size_t n) { out.append(reinterpret_cast<const char*>(data), n); });
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

using InflateBound = Scratch;

// The extractor takes the whole way up to the bound and streams above it; a
// bad check value fails the row either way and leaves no file.
TEST_F(InflateBound, BodiesOnBothSidesOfTheBound) {
  const TInflateBound bound;
  const std::string small = RandomBytes(5000, 17, true);
  const std::string large = RandomBytes(static_cast<size_t>(bound.unpacked) + 1, 18, true);
  const TBodyInflater inflater;
  EXPECT_TRUE(inflater.FitsWhole(static_cast<int64_t>(Deflate(small).size()), 5000));
  EXPECT_FALSE(inflater.FitsWhole(1000, bound.unpacked + 1));
  EXPECT_FALSE(inflater.FitsWhole(bound.stored + 1, 1000));
  const std::string largeBody = Deflate(large, 1);
  Extract(Make({{u"", u"small.txt", small}, {u"", u"large.bin", large, u"", largeBody}}));
  EXPECT_EQ(ReadAll(Dest(u"small.txt")), small);
  EXPECT_EQ(ReadAll(Dest(u"large.bin")), large);

  for (const std::string* data : {&small, &large}) {
    fs::remove_all(Dest());
    std::string body = data == &large ? largeBody : Deflate(*data);
    body[body.size() - 2] = static_cast<char>(body[body.size() - 2] ^ 0x10);
    const auto pkg = Make({{u"", u"ok.txt", "ok"}, {u"", u"bad.bin", *data, u"", body}});
    const std::u16string error = ErrorOf([&] { Extract(pkg); });
    EXPECT_NE(error.find(u"row 2"), std::u16string::npos) << ToUtf8(error);
    EXPECT_EQ(Files(Dest()), (std::vector<std::string>{"ok.txt:2"}));
  }
}

TEST_F(InflateBound, AReservedFileHasExactlyTheBytesWritten) {
  const std::u16string path = FromFsPath(root / "reserved.bin");
  OutFile out(path);
  out.Reserve(6);
  out.Write("abc", 3);
  out.Write("def", 3);
  out.Close();
  EXPECT_EQ(ReadAll(root / "reserved.bin"), "abcdef");
}

using ReadAhead = Scratch;

// With the read-ahead (on a second thread where the build has one) the
// extractor writes the same files, passes over the same system rows and
// fails at the same row as without it, whichever way each body inflates.
TEST_F(ReadAhead, SameFilesSkipsAndFailuresAsWithout) {
  options.inflateBound = TInflateBound{4096, 4096};  // larger bodies stream
  WriteAll(Sys(u"kept.dll"), "present");
  const std::string big = RandomBytes(50000, 21, true);
  const std::string noise = RandomBytes(9000, 22, false);
  std::string bad = Deflate(noise);
  bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 1);
  const std::vector<Entry> good = {
      {u"", u"a.txt", "small a"},
      {u"$System$", u"kept.dll", big, u"", bad},  // passed over: its bad body is never read
      {u"", u"big.txt", big},
      {u"$System$", u"kept.dll", noise},  // passed over, then one above the bound
      {u"sub\\", u"noise.bin", noise},
      {u"", u"empty.txt", ""},
      {u"", u"b.txt", "small b"},
  };
  std::vector<std::vector<std::string>> files;
  std::vector<std::vector<int64_t>> reports;
  for (bool ahead : {false, true}) {
    options.readAhead = ahead;
    fs::remove_all(Dest());
    percents.clear();
    Extract(Make(good));
    files.push_back(Files(Dest()));
    reports.push_back(percents);
    EXPECT_EQ(ReadAll(Dest(u"big.txt")), big);
    EXPECT_EQ(ReadAll(Dest(u"sub\\noise.bin")), noise);
    EXPECT_EQ(ReadAll(Sys(u"kept.dll")), "present");
  }
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(reports[0], reports[1]);

  // A bad body fails its row, whether it is inflated ahead or streamed, and
  // the rows before it stay written.
  for (const std::string* data : {&noise, &big}) {
    std::string body = Deflate(*data);
    body[body.size() / 2] = static_cast<char>(body[body.size() / 2] ^ 0x55);
    body[body.size() - 1] = static_cast<char>(body[body.size() - 1] ^ 1);
    const auto pkg = Make({{u"", u"a.txt", "small a"},
                           {u"", u"c.txt", "small c"},
                           {u"", u"bad.bin", *data, u"", body},
                           {u"", u"d.txt", "small d"}});
    std::vector<std::u16string> errors;
    for (bool ahead : {false, true}) {
      options.readAhead = ahead;
      fs::remove_all(Dest());
      errors.push_back(ErrorOf([&] { Extract(pkg); }));
      EXPECT_EQ(Files(Dest()), (std::vector<std::string>{"a.txt:7", "c.txt:7"}));
    }
    EXPECT_NE(errors[0].find(u"row 3"), std::u16string::npos) << ToUtf8(errors[0]);
    EXPECT_EQ(errors[0], errors[1]);
  }
}
