// Checking packages without unpacking them, and packages that come out the
// same for the same input.
#include "package/Verify.h"

#include "common/Bytes.h"
#include "package/Errors.h"
#include "package/tests/PackageFixture.h"

namespace {

using Verify = Scratch;

TEST_F(Verify, ASoundPackageCountsEveryRowAndWritesNothing) {
  const auto pkg = Make({
      {u"", u"a.txt", "alpha"},
      {u"$System$", u"sys.dll", RandomBytes(70000, 1, false)},
      {u"help\\", u"index.htm", RandomBytes(300000, 2, true)},
      {u"", u"empty.txt", ""},
  });
  const TVerifyResult r = VerifyPackage(pkg, u"", options, progress);
  EXPECT_TRUE(r.usableIndex);
  EXPECT_EQ(r.files, 4);
  EXPECT_EQ(r.unpacked, 5 + 70000 + 300000);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_FALSE(fs::exists(root / "dest"));
  EXPECT_FALSE(fs::exists(Sys(u"sys.dll")));
}

TEST_F(Verify, TheFirstBadRowIsNamed) {
  const std::string good = Deflate("good body");
  std::string flipped = Deflate(RandomBytes(5000, 3, true));
  flipped[flipped.size() / 2] ^= 0x55;
  std::string badCheck = Deflate("checked");
  badCheck.back() ^= 1;  // the Adler-32 value
  const struct {
    Entry bad;
    const char16_t* words;
  } cases[] = {
      {{u"", u"b.txt", "x", u"", "not zlib at all"}, u"not a valid zlib stream"},
      {{u"", u"b.txt", RandomBytes(5000, 3, true), u"", flipped}, u"row 2 (b.txt)"},
      {{u"", u"b.txt", "checked", u"", badCheck}, u"not a valid zlib stream"},
      // Stored size too small: the stream goes on past it.
      {{u"", u"b.txt", "good body", u"", good.substr(0, good.size() - 3)},
       u"end before its zlib stream"},
      // Stored size too large: bytes left over after the stream's end.
      {{u"", u"b.txt", "good body", u"", good + "xyz"}, u"ends 3 bytes before its stored size"},
      // Unpacked size wrong either way.
      {{u"", u"b.txt", "good body", u"", good, u"", u"8"}, u"more than its 8 bytes"},
      {{u"", u"b.txt", "good body", u"", good, u"", u"10"}, u"9 bytes instead of 10"},
      {{u"", u"b.txt", "", u"", "", u"", u"4"}, u"empty body cannot give 4 bytes"},
  };
  for (const auto& c : cases) {
    percents.clear();
    const auto pkg = Make({{u"", u"a.txt", "good"}, c.bad, {u"", u"c.txt", "after"}});
    const std::u16string error = ErrorOf([&] { VerifyPackage(pkg, u"", options, progress); });
    EXPECT_NE(error.find(u"row 2 (b.txt)"), std::u16string::npos) << ToUtf8(error);
    EXPECT_NE(error.find(c.words), std::u16string::npos) << ToUtf8(error);
    EXPECT_EQ(percents.size(), 1u);  // row 1 only
  }
}

TEST_F(Verify, IndexStates) {
  const auto pkg = Make({{u"", u"a.txt", "alpha"}}, 3, 5, 3, u"pw");
  EXPECT_EQ(ExamineIndex(pkg, u"pw", *options.codePage), TIndexState::Opens);
  // A wrong password still opens the envelope, to unreadable text.
  EXPECT_EQ(ExamineIndex(pkg, u"", *options.codePage), TIndexState::Opens);
  EXPECT_THROW(VerifyPackage(pkg, u"", options), Error);
  EXPECT_EQ(VerifyPackage(pkg, u"pw", options).files, 1);
  EXPECT_EQ(
      ExamineIndex(Store(std::string("\xFF\xFF\xFF\x7F\x0A\x14\x00", 7)), u"", *options.codePage),
      TIndexState::NoIndex);
  EXPECT_FALSE(VerifyPackage(Store(std::string("\xFF\xFF\xFF\x7F\x0A\x14\x00", 7)), u"", options)
                   .usableIndex);
  EXPECT_EQ(ExamineIndex(Store("no envelope here" + std::string("\x10\0\0\0\x0A\x14\x00", 7)), u"",
                         *options.codePage),
            TIndexState::NotAnEnvelope);
  EXPECT_THROW(ExamineIndex(Store("\x14\x00"), u"", *options.codePage), PackageReadError);
}

// The salt of a package with the 3-byte trailer: the index's first 8 bytes.
std::string SaltOf(const std::string& package) {
  const size_t lengthAt = package.size() - 7;
  const uint32_t l = GetU32(package, lengthAt);
  return package.substr(lengthAt - l, 8);
}

struct Reproducible : Scratch {
  std::u16string Pack(const std::u16string& name, TPackOptions po) {
    const std::u16string out = FromFsPath(root / "out") + u"\\" + name;
    fs::create_directories(root / "out");
    PackDirectory(FromFsPath(root / "src"), out, po);
    return out;
  }
};

TEST_F(Reproducible, SaltVectorAndSeedDecideEveryByte) {
  WriteAll(root / "src" / "b.txt", "bee");
  WriteAll(root / "src" / "a" / "z.txt", "zed");
  WriteAll(root / "src" / "a-b.txt", "dash");
  WriteAll(root / "src" / "C.txt", "capital");  // not "B.txt": one file on Windows
  TPackOptions po;
  po.codePage = options.codePage;
  const auto r1 = ReadAll(ToFsPath(Pack(u"r1.stp", po)));
  const auto r2 = ReadAll(ToFsPath(Pack(u"r2.stp", po)));
  EXPECT_NE(r1, r2) << "random salt and vector by default";

  po.salt = u"Salt1234";
  po.iv = u"0123456789abcdef";
  const auto f1 = ReadAll(ToFsPath(Pack(u"f1.stp", po)));
  const auto f2 = ReadAll(ToFsPath(Pack(u"f2.stp", po)));
  EXPECT_EQ(f1, f2);
  EXPECT_NE(f1.find("Salt1234"), std::string::npos);

  TPackOptions seeded;
  seeded.codePage = options.codePage;
  seeded.seed = u"1700000000";
  const auto s1 = ReadAll(ToFsPath(Pack(u"s1.stp", seeded)));
  const auto s2 = ReadAll(ToFsPath(Pack(u"s2.stp", seeded)));
  EXPECT_EQ(s1, s2);
  seeded.seed = u"1700000001";
  EXPECT_NE(ReadAll(ToFsPath(Pack(u"s3.stp", seeded))), s1);
  // Another input under the same seed gets other values.
  WriteAll(root / "src" / "b.txt", "bee!");
  seeded.seed = u"1700000000";
  const auto s4 = ReadAll(ToFsPath(Pack(u"s4.stp", seeded)));
  EXPECT_NE(SaltOf(s4), SaltOf(s1));
  EXPECT_EQ(SaltOf(s1).size(), 8u);

  // Rows by code point, folder by folder: "C.txt" "a/z.txt" "a-b.txt" "b.txt".
  const auto rows = PlanPackage(Pack(u"o.stp", po), u"<dest>\\", u"", options);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].fileName, u"C.txt");
  EXPECT_EQ(rows[1].folder + rows[1].fileName, u"a\\z.txt");
  EXPECT_EQ(rows[2].fileName, u"a-b.txt");
  EXPECT_EQ(rows[3].fileName, u"b.txt");

  po.salt = u"bad salt";
  EXPECT_THROW(Pack(u"x.stp", po), Error);
  po.salt = u"Salt1234";
  po.iv = u"short";
  EXPECT_THROW(Pack(u"x.stp", po), Error);
  EXPECT_FALSE(fs::exists(root / "out" / "x.stp"));
}

TEST_F(Reproducible, AnEmptyFolderIsRefused) {
  fs::create_directories(root / "src" / "only" / "folders");
  TPackOptions po;
  const std::u16string error = ErrorOf([&] { Pack(u"e.stp", po); });
  EXPECT_NE(error.find(u"holds no files"), std::u16string::npos) << ToUtf8(error);
  EXPECT_FALSE(fs::exists(root / "out" / "e.stp"));
}

}  // namespace
