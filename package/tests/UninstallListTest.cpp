// The list of installed files that packing appends to the uninstaller: what
// goes in comes back out, damage is told apart from a program that has none,
// and stp's packing adds the uninstaller with the list of every row.
#include "common/Text.h"
#include "package/UninstallEntry.h"
#include "package/UninstallList.h"

#include "fs/Errors.h"
#include "package/tests/PackageFixture.h"

namespace {

const std::string kProgram = "MZ\x90\x00 a stand-in program body\n" + std::string(300, '\x7F');

std::vector<TUninstallRow> SomeRows() {
  return {{u"", u"Drawlet.exe", false},
          {u"help\\", u"index,1.htm", false},
          {u"help\\图片\\", u"画图.png", false},
          {u"$System$", u"NvDrawlet.dat", true},
          {u"", u"Uninst.exe", false}};
}

std::string Flipped(std::string s, size_t at) {
  s[at] = static_cast<char>(s[at] ^ 0x20);
  return s;
}

}  // namespace

TEST(UninstallEntry, ValuesInOrder) {
  EXPECT_EQ(UninstallKeyPath(u"诺凡画图"),
            u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\诺凡画图");
  const auto values = UninstallValues(true, {u"诺凡画图", u"Drawlet", u"3.50"},
                                      u"C:\\Apps\\Drawlet\\", {1025, u"20261210"});
  const std::vector<std::u16string> expected = {
      u"DisplayIcon=C:\\Apps\\Drawlet\\Drawlet.exe",
      u"DisplayName=诺凡画图",
      u"DisplayVersion=3.50",
      u"Publisher=诺凡软件",
      u"URLInfoAbout=http://www.norvane.com/index_chs.shtml",
      u"UninstallString=\"C:\\Apps\\Drawlet\\Uninst.exe\"",
      u"QuietUninstallString=\"C:\\Apps\\Drawlet\\Uninst.exe\" /S",
      u"InstallLocation=C:\\Apps\\Drawlet",
      u"EstimatedSize#2",  // KiB, rounded up
      u"InstallDate=20261210",
      u"NoModify#1",
      u"NoRepair#1",
  };
  std::vector<std::u16string> got;
  for (const TUninstallValue& v : values)
    got.push_back(v.name + (v.isNumber ? u"#" + IntToText(v.number) : u"=" + v.value));
  EXPECT_EQ(got, expected);
  const auto en = UninstallValues(false, {u"Drawlet", u"Drawlet", u"3.50"}, u"D:\\x\\");
  EXPECT_EQ(en[3].value, u"Norvane Software");
  EXPECT_EQ(en[4].value, u"http://www.norvane.com/");
}

TEST(UninstallList, RowsComeBackFromTheEndOfTheProgram) {
  const std::string file = kProgram + MakeUninstallList(SomeRows());
  EXPECT_EQ(ParseUninstallList(file), SomeRows());
  EXPECT_EQ(UninstallListStart(file), kProgram.size());
  // An empty list is a list.
  const std::string empty = kProgram + MakeUninstallList({});
  EXPECT_TRUE(ParseUninstallList(empty).empty());
  EXPECT_EQ(UninstallListStart(empty), kProgram.size());
}

TEST(UninstallList, AProgramWithoutOneIsToldApartFromADamagedOne) {
  EXPECT_EQ(UninstallListStart(kProgram), kProgram.size());
  EXPECT_EQ(UninstallListStart(""), 0u);
  EXPECT_EQ(ErrorOf([&] { ParseUninstallList(kProgram); }),
            u"the program carries no list of installed files");

  const std::string file = kProgram + MakeUninstallList(SomeRows());
  const size_t footer = file.size() - kUninstallFooterSize;
  // A changed byte of the text, of its check sum, or a length past the file.
  for (const size_t at : {footer - 5, footer + 4}) {
    EXPECT_NE(ErrorOf([&] { ParseUninstallList(Flipped(file, at)); }).find(u"check sum"),
              std::u16string::npos)
        << at;
  }
  std::string longer = file;
  longer[footer + 3] = '\x01';
  EXPECT_NE(ErrorOf([&] { UninstallListStart(longer); }).find(u"length"), std::u16string::npos);
  // Only the list itself: its length reaches exactly to the file's start.
  const std::string alone = MakeUninstallList(SomeRows());
  EXPECT_EQ(UninstallListStart(alone), 0u);
  EXPECT_EQ(ParseUninstallList(alone), SomeRows());
}

TEST(UninstallList, NamesItCannotCarryAreRefused) {
  const std::u16string tab = ErrorOf([] { MakeUninstallList({{u"a\\", u"x\ty", false}}); });
  EXPECT_NE(tab.find(u"a\\x\ty"), std::u16string::npos) << ToUtf8(tab);
  EXPECT_NE(ErrorOf([] { MakeUninstallList({{u"a\\", u"", false}}); }), u"");
}

struct UninstallListFile : Scratch {};

TEST_F(UninstallListFile, IsReadFromTheTailOfTheProgram) {
  const fs::path program = root / "Uninst.exe";
  WriteAll(program, kProgram + std::string(200000, 'p') + MakeUninstallList(SomeRows()));
  EXPECT_EQ(ReadUninstallList(FromFsPath(program)), SomeRows());

  const fs::path bare = root / "bare.exe";
  WriteAll(bare, kProgram);
  const std::u16string none = ErrorOf([&] { ReadUninstallList(FromFsPath(bare)); });
  EXPECT_NE(none.find(u"bare.exe carries no list"), std::u16string::npos) << ToUtf8(none);
  const fs::path tiny = root / "tiny.exe";
  WriteAll(tiny, "MZ");
  EXPECT_NE(ErrorOf([&] { ReadUninstallList(FromFsPath(tiny)); }), u"");

  std::string damaged = ReadAll(program);
  damaged[damaged.size() - kUninstallFooterSize - 3] ^= 1;
  WriteAll(program, damaged);
  const std::u16string bad = ErrorOf([&] { ReadUninstallList(FromFsPath(program)); });
  EXPECT_NE(bad.find(u"Uninst.exe: the list of installed files is damaged"), std::u16string::npos)
      << ToUtf8(bad);

  EXPECT_THROW(ReadUninstallList(FromFsPath(root / "missing.exe")), FileError);
}

// Packing with an uninstaller program: it goes in as "Uninst.exe" at the top
// with the list of every row, its own included.
struct PackUninstaller : Scratch {
  fs::path src;
  fs::path program;
  void SetUp() override {
    Scratch::SetUp();
    src = root / "src";
    WriteAll(src / "Drawlet.exe", "drawlet");
    WriteAll(src / "help" / "index.htm", "<html>");
    WriteAll(src / "$System$" / "NvShared.dat", "shared");
    program = root / "bin" / "Uninst.exe";
    WriteAll(program, kProgram);
  }
  std::u16string Pack(const std::u16string& name, TPackResult* result = nullptr) {
    TPackOptions po;
    po.codePage = options.codePage;
    po.uninstaller = FromFsPath(program);
    const std::u16string pkg = FromFsPath(root / ToFsPath(name));
    const TPackResult r = PackDirectory(FromFsPath(src), pkg, po);
    if (result != nullptr)
      *result = r;
    return pkg;
  }
};

TEST_F(PackUninstaller, TheUninstallerCarriesTheListOfEveryRow) {
  TPackResult r;
  const std::u16string pkg = Pack(u"p.stp", &r);
  EXPECT_TRUE(r.uninstallerAdded);
  EXPECT_EQ(r.files, 4);
  const auto plan = PlanPackage(pkg, dest, u"", options);
  ASSERT_EQ(plan.size(), 4u);
  EXPECT_EQ(plan.back().folder + plan.back().fileName, u"Uninst.exe");
  Extract(pkg);
  const std::string carried = ReadAll(Dest(u"Uninst.exe"));
  EXPECT_EQ(carried.substr(0, kProgram.size()), kProgram);
  std::vector<TUninstallRow> expected;
  for (const TRowPlan& p : plan)
    expected.push_back({p.folder, p.fileName, p.system});
  EXPECT_EQ(ParseUninstallList(carried), expected);
  EXPECT_TRUE(expected[0].system);  // "$System$" sorts first
  EXPECT_EQ(std::count_if(expected.begin(), expected.end(), [](auto& e) { return e.system; }), 1);

  // A program that already carries a list (an installed Uninst.exe) is packed
  // without it: one list, this package's.
  WriteAll(program, carried);
  WriteAll(src / "extra.txt", "x");
  const std::u16string again = Pack(u"again.stp");
  const std::u16string out = FromFsPath(root / "again") + u"\\";
  ExtractPackage(again, out, u"", nullptr, options);
  const std::string second = ReadAll(ToFsPath(out + u"Uninst.exe"));
  EXPECT_EQ(UninstallListStart(second), kProgram.size());
  EXPECT_EQ(ParseUninstallList(second).size(), 5u);
}

TEST_F(PackUninstaller, AFolderWithItsOwnUninstallerKeepsIt) {
  WriteAll(src / "UNINST.EXE", "their own");
  EXPECT_TRUE(HasOwnUninstaller(FromFsPath(src)));
  TPackResult r;
  const std::u16string pkg = Pack(u"own.stp", &r);
  EXPECT_FALSE(r.uninstallerAdded);
  EXPECT_EQ(r.files, 4);
  Extract(pkg);
  EXPECT_EQ(ReadAll(Dest(u"UNINST.EXE")), "their own");
  // One in a subfolder is just a file of the product.
  fs::remove(src / "UNINST.EXE");
  WriteAll(src / "help" / "Uninst.exe", "help's");
  EXPECT_FALSE(HasOwnUninstaller(FromFsPath(src)));
  Pack(u"sub.stp", &r);
  EXPECT_TRUE(r.uninstallerAdded);
}

TEST_F(PackUninstaller, AMissingUninstallerIsNamedAndNoPackageIsLeft) {
  program = root / "nowhere" / "Uninst.exe";
  const std::u16string message = ErrorOf([&] { Pack(u"none.stp"); });
  EXPECT_NE(message.find(u"uninstaller program"), std::u16string::npos) << ToUtf8(message);
  EXPECT_NE(message.find(u"nowhere"), std::u16string::npos) << ToUtf8(message);
  EXPECT_FALSE(fs::exists(root / "none.stp"));
  EXPECT_FALSE(fs::exists(root / "none.stp.part"));
}
