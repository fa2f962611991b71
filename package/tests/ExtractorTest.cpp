// ExtractPackage: where files go, what is refused before anything is
// written, and what stays on disk after a failure.
#include <gtest/gtest.h>

#include "common/Errors.h"
#include "datatable/Errors.h"
#include "fs/Errors.h"
#include "package/Errors.h"
#include "package/Package.h"
#include "package/tests/PackageFixture.h"

using Extractor = Scratch;
using Refusals = Scratch;
using Failures = Scratch;
using SystemRows = Scratch;

TEST_F(Extractor, FoldersNamesAndProgress) {
  const auto pkg = Make({
      {u"", u"readme.txt", "hello"},
      {u"bin\\", u"a,b;c.dll", RandomBytes(70000, 1, false)},
      {u"help\\deep\\", u"index.htm", RandomBytes(200000, 2, true)},
      {u"", u"empty.dat", ""},
      {u"ignored\\", u"flat.txt", "flat", u"-1"},
      {u"kept\\", u"nested.txt", "nested", u"False"},
      {u"kept\\", u"blank.txt", "blank", u"0"},
  });
  Extract(pkg);
  EXPECT_EQ(ReadAll(Dest(u"readme.txt")), "hello");
  EXPECT_EQ(ReadAll(Dest(u"bin\\a,b;c.dll")), RandomBytes(70000, 1, false));
  EXPECT_EQ(ReadAll(Dest(u"help\\deep\\index.htm")), RandomBytes(200000, 2, true));
  EXPECT_TRUE(fs::is_regular_file(Dest(u"empty.dat")));
  EXPECT_EQ(fs::file_size(Dest(u"empty.dat")), 0u);
  EXPECT_EQ(ReadAll(Dest(u"flat.txt")), "flat");  // a true fifth cell ignores the folder
  EXPECT_FALSE(fs::exists(Dest(u"ignored")));
  EXPECT_EQ(ReadAll(Dest(u"kept\\nested.txt")), "nested");
  EXPECT_EQ(ReadAll(Dest(u"kept\\blank.txt")), "blank");
  EXPECT_EQ(percents.size(), 7u);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(Files(Dest()).size(), 7u);  // no temporary file left
}

TEST_F(Extractor, OnlyTheNamePartOfCellOneNamesTheFile) {
  Extract(Make({{u"bin\\", u"sub\\x.dll", "x"}, {u"", u"c:y.txt", "y"}}));
  EXPECT_EQ(ReadAll(Dest(u"bin\\x.dll")), "x");
  EXPECT_EQ(ReadAll(Dest(u"y.txt")), "y");
}

TEST_F(Extractor, ExistingFilesAreReplaced) {
  WriteAll(Dest(u"a.txt"), "old contents that are longer");
  Extract(Make({{u"", u"a.txt", "new"}}));
  EXPECT_EQ(ReadAll(Dest(u"a.txt")), "new");
}

TEST_F(Extractor, EveryTrailerAndEnvelope) {
  const std::vector<Entry> entries = {{u"d\\", u"f.txt", "payload"}};
  for (int trailer : {3, 10, 22, 29}) {
    for (uint32_t cipher : {0u, 4u, 6u, 8u}) {
      percents.clear();
      fs::remove_all(Dest());
      Extract(Make(entries, cipher % 5, cipher, trailer));
      EXPECT_EQ(ReadAll(Dest(u"d\\f.txt")), "payload") << trailer << "/" << cipher;
    }
  }
}

TEST_F(Extractor, TheReaderLooksOnlyAtTheProbeBytes) {
  const auto pkg = Make({{u"", u"f.txt", "x"}});
  std::string bytes = ReadAll(ToFsPath(pkg));
  bytes.back() = '\x02';  // as in the shipped package: 0A 14 02
  Extract(Store(bytes));
  EXPECT_EQ(ReadAll(Dest(u"f.txt")), "x");

  InFile in(pkg);
  const auto index = ReadPackageIndex(in, Cp1252());
  ASSERT_TRUE(index.has_value());
  EXPECT_EQ(index->Trailer, 3);
  EXPECT_EQ(in.Position(), 0);
}

TEST_F(Extractor, APackageWithoutAUsableIndexWritesNothing) {
  const auto pkg = Make({{u"", u"f.txt", "x"}});
  std::string bytes = ReadAll(ToFsPath(pkg));
  for (uint32_t l : {static_cast<uint32_t>(bytes.size()), 0x7FFFFFFFu}) {
    std::string changed = bytes;
    for (int i = 0; i < 4; ++i)
      changed[changed.size() - 7 + i] = static_cast<char>(l >> (8 * i));
    Extract(Store(changed));
    EXPECT_TRUE(percents.empty());
    EXPECT_TRUE(Files(Dest()).empty());
  }
}

TEST_F(Extractor, PercentagesRoundHalfToEven) {
  EXPECT_EQ(ProgressPercent(1, 8), 12);     // 12.5
  EXPECT_EQ(ProgressPercent(27, 200), 14);  // 13.5
  EXPECT_EQ(ProgressPercent(1, 3), 33);
  EXPECT_EQ(ProgressPercent(2, 3), 67);
  EXPECT_EQ(ProgressPercent(0, 0), 100);
  // Through a package: sizes 1 and 7 report 12 then 100.
  Extract(Make({{u"", u"a", "1"}, {u"", u"b", "1234567"}}));
  EXPECT_EQ(percents, (std::vector<int64_t>{12, 100}));
}

TEST_F(Extractor, RoundTripOfRandomTrees) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3; ++round) {
    const fs::path src = root / ("src" + std::to_string(round));
    std::vector<std::pair<std::string, std::string>> files;
    const int count = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < count; ++i) {
      std::string rel;
      for (int depth = static_cast<int>(rng() % 3); depth > 0; --depth) {
        rel += "d" + std::to_string(rng() % 3) + "/";
      }
      rel += "f" + std::to_string(i) + (i % 3 == 0 ? ",x.bin" : ".bin");
      const std::string data = RandomBytes(rng() % 100000, rng(), rng() % 2);
      WriteAll(src / rel, data);
      files.emplace_back(rel, data);
    }
    TPackOptions po;
    po.hash = rng() % 5;
    po.cipher = rng() % 9;
    po.trailer = std::vector<int>{3, 10, 22, 29}[rng() % 4];
    po.codePage = options.codePage;
    const std::u16string pkg = FromFsPath(root / ("tree" + std::to_string(round) + ".stp"));
    const TPackResult r = PackDirectory(FromFsPath(src), pkg, po);
    EXPECT_EQ(r.files, count);
    const std::string bytes = ReadAll(ToFsPath(pkg));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xDA);

    const std::u16string out = FromFsPath(root / ("out" + std::to_string(round))) + u"\\";
    ExtractPackage(pkg, out, u"", nullptr, options);
    for (const auto& [rel, data] : files) {
      EXPECT_EQ(ReadAll(ToFsPath(out) / rel), data) << rel;
    }
    EXPECT_EQ(Files(ToFsPath(out)).size(), files.size());
  }
}

TEST_F(SystemRows, PresentFilesAreKeptAndSkippedSilently) {
  const std::u16string a = u"stp_keep_" + IntToText(std::random_device{}()) + u".dll";
  const std::u16string b = u"stp_new_" + IntToText(std::random_device{}()) + u".dll";
  WriteAll(Sys(a), "original");
  const auto pkg = Make({
      {u"", u"first.txt", "1"},
      {u"$System$", a, "replacement"},
      {u"$Third$", b, "fresh"},
  });
  Extract(pkg);
  EXPECT_EQ(ReadAll(Sys(a)), "original");
  EXPECT_EQ(ReadAll(Sys(b)), "fresh");
  EXPECT_EQ(percents.size(), 2u);  // no report for the kept file
  EXPECT_EQ(percents.back(), 100);
  // The same package again: now both system files are there.
  percents.clear();
  const auto again = Make({{u"", u"first.txt", "1"}, {u"$System$", a, "x"}, {u"$Third$", b, "y"}});
  Extract(again);
  EXPECT_EQ(ReadAll(Sys(b)), "fresh");
  EXPECT_EQ(percents, (std::vector<int64_t>{33}));  // the last rows skipped: below 100
  std::error_code ec;
  fs::remove(Sys(a), ec);
  fs::remove(Sys(b), ec);
}

TEST_F(SystemRows, ExistenceIsTestedWithTheWholeCellText) {
  const std::u16string name = u"stp_sub_" + IntToText(std::random_device{}()) + u".dll";
  const fs::path sub = Sys(u"stp_sub_dir");
  WriteAll(sub / ToFsPath(name), "in the subfolder");
  Extract(Make({{u"$System$", u"stp_sub_dir\\" + name, "written"}}));
  EXPECT_FALSE(fs::exists(Sys(name)));  // present as sub\name: skipped
  fs::remove_all(sub);
  Extract(Make({{u"$System$", u"stp_sub_dir\\" + name, "written"}}));
  EXPECT_EQ(ReadAll(Sys(name)), "written");  // missing: written by its name part
  std::error_code ec;
  fs::remove(Sys(name), ec);
}

TEST_F(SystemRows, WithoutASystemDirectoryTheyFailBeforeAnythingIsWritten) {
  options.systemDir = nullptr;
  const auto pkg = Make({{u"", u"a.txt", "a"}, {u"$System$", u"s.dll", "s"}});
  EXPECT_NE(ErrorOf([&] { Extract(pkg); }).find(u"row 2"), std::u16string::npos);
  EXPECT_TRUE(Files(Dest()).empty());
}

TEST_F(Refusals, BadRowsAreRefusedBeforeAnyFileIsWritten) {
  struct Case {
    Entry bad;
    const char16_t* words;
  } cases[] = {
      {{u"..\\", u"evil.txt", "x"}, u"leaves the folder"},
      {{u"a\\..\\..\\", u"evil.txt", "x"}, u"leaves the folder"},
      {{u"\\abs\\", u"evil.txt", "x"}, u"not relative"},
      {{u"C:\\abs\\", u"evil.txt", "x"}, u"not relative"},
      {{u"\\\\server\\share\\", u"evil.txt", "x"}, u"not relative"},
      {{u"/abs/", u"evil.txt", "x"}, u"not relative"},
      {{u"", u"..", "x"}, u"names no file"},
      {{u"", u"sub\\", "x"}, u"names no file"},
      {{u"$System$\\..\\", u"evil.dll", "x"}, u"leaves the system directory"},
      // "$system$" holds no "System" in that case and no "$Third$": no token
      // at all, so it would name a folder relative to the current directory.
      {{u"$system$", u"evil.dll", "x"}, u"names no system folder"},
      {{u"$SYSTEM$\\", u"evil.dll", "x"}, u"names no system folder"},
      {{u"$other\\", u"evil.dll", "x"}, u"names no system folder"},
      {{u"$x$System$", u"evil.dll", "x"}, u"does not lie in the system directory"},
      {{u"", u"neg.txt", "x", u"", "", u"-1"}, u"below 0"},
      {{u"", u"neg.txt", "x", u"", "", u"", u"-5"}, u"below 0"},
      {{u"", u"big.txt", "x", u"", "", u"99999"}, u"bytes before the index"},
      {{u"", u"nan.txt", "x", u"", "", u"", u"abc"}, u"'abc' is not a valid integer value"},
      {{u"", u"flag.txt", "x", u"maybe"}, u"'maybe' is not a valid boolean value"},
  };
  for (const auto& c : cases) {
    const auto pkg = Make({{u"", u"good.txt", "good"}, c.bad});
    const std::u16string error = ErrorOf([&] { Extract(pkg); });
    EXPECT_NE(error.find(c.words), std::u16string::npos) << ToUtf8(error);
    EXPECT_NE(error.find(u"row 2"), std::u16string::npos) << ToUtf8(error);
    EXPECT_TRUE(Files(root / "dest").empty()) << ToUtf8(c.bad.folder + c.bad.name);
    EXPECT_TRUE(percents.empty());
  }
}

TEST_F(Refusals, TotalsBeyondTheSigned32BitRange) {
  const auto pkg = Make({
      {u"", u"a", "x", u"", "", u"", u"2000000000"},
      {u"", u"b", "x", u"", "", u"", u"2000000000"},
  });
  const std::u16string error = ErrorOf([&] { Extract(pkg); });
  EXPECT_NE(error.find(u"2147483647"), std::u16string::npos) << ToUtf8(error);
  EXPECT_TRUE(Files(root / "dest").empty());
}

TEST_F(Refusals, ShortRowsAndUnopenedEnvelopes) {
  // A row of three cells.
  TPackOptions po;
  const auto three = Store(AssemblePackage(Deflate("x"), u",a.txt,9", po));
  EXPECT_THROW(Extract(three), ListIndexError);
  // The wrong password: the envelope opens to unreadable text.
  const auto locked = Make({{u"", u"a.txt", "x"}}, 3, 5, 3, u"secret");
  EXPECT_THROW(Extract(locked), Error);
  // An index of length 0: its envelope is empty and so is the index.
  std::string bytes = Deflate("x") + std::string("\0\0\0\0\x0A\x14\x00", 7);
  EXPECT_THROW(Extract(Store(bytes)), ListIndexError);
  EXPECT_TRUE(Files(root / "dest").empty());
}

TEST_F(Refusals, MalformedPackages) {
  EXPECT_THROW(Extract(Store("")), PackageReadError);
  EXPECT_THROW(Extract(Store("\x14\x00")), PackageReadError);
  EXPECT_THROW(Extract(Store(std::string("\x01\x00\x00\x00\x0A\x14\x00", 7))), PackageReadError);
  // A negative length field.
  EXPECT_THROW(Extract(Store(std::string("\xFF\xFF\xFF\xFF\x0A\x14\x00", 7))), PackageReadError);
  EXPECT_THROW(Extract(u"no such file.stp"), FileError);
  EXPECT_TRUE(percents.empty());
}

TEST_F(Failures, ABadBodyLeavesTheDestinationAsItWas) {
  WriteAll(Dest(u"b.txt"), "previous b");
  const auto pkg = Make({
      {u"", u"a.txt", "first"},
      {u"", u"b.txt", "second", u"", "this is not zlib data"},
      {u"", u"c.txt", "third"},
  });
  const std::u16string error = ErrorOf([&] { Extract(pkg); });
  EXPECT_NE(error.find(u"row 2"), std::u16string::npos) << ToUtf8(error);
  EXPECT_EQ(ReadAll(Dest(u"b.txt")), "previous b");
  EXPECT_EQ(Files(Dest()), (std::vector<std::string>{"b.txt:10"}));
  EXPECT_EQ(percents.size(), 1u);
}

// A body that gives fewer or more bytes than its row says leaves no file:
// neither a short one nor the first bytes of a stream that goes on (a damaged
// body's, as like as not).
TEST_F(Failures, ABodyOfAnotherSizeLeavesNoFile) {
  const struct {
    const char* what;
    std::string body;
    const char16_t* unpacked;
    const char16_t* message;
  } rows[] = {
      {"fewer", Deflate("abc"), u"10", u"instead of 10"},
      {"more", Deflate("abcdef"), u"3", u"more than its 3 bytes"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const auto pkg = Make({{u"", u"f.txt", "abc", u"", r.body, u"", r.unpacked}});
    const std::u16string error = ErrorOf([&] { Extract(pkg); });
    EXPECT_NE(error.find(r.message), std::u16string::npos) << ToUtf8(error);
    EXPECT_TRUE(Files(Dest()).empty());
  }
}

TEST_F(Failures, ABodyCutShortInThePackage) {
  // The stored size claims more than the body holds; the next body starts
  // inside it, so zlib runs out or rejects what follows.
  const std::string body = Deflate(RandomBytes(5000, 3, false));
  const auto pkg =
      Make({{u"", u"cut.bin", RandomBytes(5000, 3, false), u"", body.substr(0, 100), u"100", u""}});
  EXPECT_THROW(Extract(pkg), PackageReadError);
  EXPECT_TRUE(Files(Dest()).empty());
}

TEST_F(Failures, AReadOnlyTargetFailsAndStays) {
  WriteAll(Dest(u"ro.txt"), "read only");
  fs::permissions(Dest(u"ro.txt"),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_THROW(Extract(Make({{u"", u"ro.txt", "new"}})), FileError);
  EXPECT_EQ(ReadAll(Dest(u"ro.txt")), "read only");
  fs::permissions(Dest(u"ro.txt"), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Files(Dest()).size(), 1u);
}
