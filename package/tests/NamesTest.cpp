// The rule that places a row's file and refuses the names Windows treats
// specially.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "package/Errors.h"
#include "package/Names.h"

namespace {

std::string Place(std::u16string_view folder, std::u16string_view name) {
  const TRowPlace p = PlaceRowFile(folder, name);
  return ToUtf8(p.folder) + "|" + ToUtf8(p.file);
}

bool Refused(std::u16string_view folder, std::u16string_view name) {
  try {
    PlaceRowFile(folder, name);
    return false;
  } catch (const PackageReadError&) {
    return true;
  }
}

const std::u16string kSys = u"C:\\Windows\\system32\\";

}  // namespace

TEST(Names, FolderAndFile) {
  EXPECT_EQ(Place(u"", u"readme.txt"), "|readme.txt");
  EXPECT_EQ(Place(u"help\\", u"index.htm"), "help\\|index.htm");
  EXPECT_EQ(Place(u"help\\deep\\", u"a,b;c.dll"), "help\\deep\\|a,b;c.dll");
  // The folder text and the file name meet as plain text.
  EXPECT_EQ(Place(u"bin", u"x.dll"), "|binx.dll");
  EXPECT_EQ(Place(u"a\\bin", u"x.dll"), "a\\|binx.dll");
  // "/" is a separator like "\", and runs of them are one.
  EXPECT_EQ(Place(u"help/", u"index.htm"), "help\\|index.htm");
  EXPECT_EQ(Place(u"a\\\\b//c/\\", u"f"), "a\\b\\c\\|f");
  // Only the last part of the name cell names the file, with "\" and "/"
  // alike, and a leading drive goes.
  EXPECT_EQ(Place(u"bin\\", u"sub\\x.dll"), "bin\\|x.dll");
  EXPECT_EQ(Place(u"bin\\", u"sub/x.dll"), "bin\\|x.dll");
  EXPECT_EQ(Place(u"", u"c:y.txt"), "|y.txt");
  EXPECT_EQ(Place(u"", u"C:\\build\\out\\y.txt"), "|y.txt");
  EXPECT_EQ(NameFilePart(u"a/b\\c/d.txt"), u"d.txt");
  // Names that merely resemble the refused ones.
  EXPECT_EQ(Place(u"console\\", u"nul2.txt"), "console\\|nul2.txt");
  EXPECT_EQ(Place(u"com10\\", u"lpt.txt"), "com10\\|lpt.txt");
  EXPECT_EQ(Place(u"x.con\\", u"aux_.txt"), "x.con\\|aux_.txt");
  EXPECT_EQ(Place(u".config\\", u".hidden"), ".config\\|.hidden");
  EXPECT_EQ(Place(u"", u"..x"), "|..x");
  EXPECT_EQ(Place(u"", u"文件.txt"), "|文件.txt");
}

TEST(Names, DeviceNames) {
  for (const char16_t* d :
       {u"CON", u"con", u"Prn", u"aux", u"NUL", u"COM1", u"com9", u"COM0", u"LPT1", u"lpt9",
        u"LPT0", u"COM\u00B9", u"LPT\u00B3", u"CONIN$", u"conout$"}) {
    const std::u16string dev(d);
    SCOPED_TRACE(ToUtf8(dev));
    EXPECT_TRUE(IsDeviceName(dev));
    EXPECT_TRUE(IsDeviceName(dev + u".txt"));
    EXPECT_TRUE(IsDeviceName(dev + u" .log"));
    EXPECT_TRUE(IsDeviceName(dev + u".tar.gz"));
    // As the file, as a folder, deep down, in a system row's rest, and as
    // the file that the folder text and the name make together.
    EXPECT_TRUE(Refused(u"", dev));
    EXPECT_TRUE(Refused(u"", dev + u".dll"));
    EXPECT_TRUE(Refused(u"", u"sub\\" + dev));
    EXPECT_TRUE(Refused(dev + u"\\", u"x.dll"));
    EXPECT_TRUE(Refused(u"a\\b\\" + dev + u".d\\c\\", u"x.dll"));
    EXPECT_TRUE(Refused(u"a/" + dev + u"/", u"x.dll"));
  }
  EXPECT_TRUE(Refused(u"CO", u"N"));
  EXPECT_TRUE(Refused(u"sub\\nu", u"l.txt"));
  EXPECT_FALSE(IsDeviceName(u"COM"));
  EXPECT_FALSE(IsDeviceName(u"COM10"));
  EXPECT_FALSE(IsDeviceName(u"CONSOLE"));
  EXPECT_FALSE(IsDeviceName(u"A.CON"));
}

TEST(Names, DotsBlanksStreamsAndCharacters) {
  // Trailing dots and blanks, which Windows drops: "..." would be "..".
  for (const char16_t* n : {u".", u"..", u"...", u"a.", u"a ", u"a. ", u".. ", u"readme.txt."}) {
    SCOPED_TRACE(ToUtf8(n));
    EXPECT_TRUE(Refused(u"", n));
    EXPECT_TRUE(Refused(std::u16string(n) + u"\\", u"x.txt"));
    EXPECT_TRUE(Refused(u"a\\" + std::u16string(n) + u"/b\\", u"x.txt"));
  }
  // Alternate data streams and drives.
  for (const char16_t* n : {u"a.txt:s", u"a.txt::$DATA", u"Drawlet.exe:evil.exe", u"x:y:z"}) {
    SCOPED_TRACE(ToUtf8(n));
    EXPECT_TRUE(Refused(u"", n));
    EXPECT_TRUE(Refused(u"sub\\", n));
  }
  EXPECT_TRUE(Refused(u"help:s\\", u"x.txt"));
  EXPECT_TRUE(Refused(u"c:\\", u"x.txt"));
  EXPECT_TRUE(Refused(u"c:", u"x.txt"));
  // Not relative.
  EXPECT_TRUE(Refused(u"\\Windows\\", u"x.txt"));
  EXPECT_TRUE(Refused(u"/etc/", u"x.txt"));
  EXPECT_TRUE(Refused(u"\\\\server\\share\\", u"x.txt"));
  // Climbing out, with either separator.
  EXPECT_TRUE(Refused(u"..\\", u"x.txt"));
  EXPECT_TRUE(Refused(u"a/../../", u"x.txt"));
  // (a folder text "a\.." with the name "x.txt" is the file "a\..x.txt")
  EXPECT_EQ(Place(u"a\\..", u"x.txt"), "a\\|..x.txt");
  // a name cell that holds no file
  EXPECT_TRUE(Refused(u"", u""));
  EXPECT_TRUE(Refused(u"", u"sub\\"));
  EXPECT_TRUE(Refused(u"", u"c:"));
  // Characters Windows does not allow.
  for (const char16_t* n : {u"a<b", u"a>b", u"a\"b", u"a|b", u"a?b", u"a*b", u"a\tb", u"a\x01"}) {
    SCOPED_TRACE(ToUtf8(n));
    EXPECT_TRUE(Refused(u"", n));
    EXPECT_TRUE(Refused(std::u16string(n) + u"\\", u"x"));
  }
}

TEST(Names, RefusalsNameTheCell) {
  try {
    PlaceRowFile(u"help\\CON\\", u"x.txt");
    FAIL() << "not refused";
  } catch (const PackageReadError& e) {
    EXPECT_NE(e.Message().find(u"help\\CON\\"), std::u16string::npos) << ToUtf8(e.Message());
    EXPECT_NE(e.Message().find(u"device"), std::u16string::npos) << ToUtf8(e.Message());
  }
  try {
    PlaceRowFile(u"", u"a.txt:s");
    FAIL() << "not refused";
  } catch (const PackageReadError& e) {
    EXPECT_NE(e.Message().find(u"a.txt:s"), std::u16string::npos) << ToUtf8(e.Message());
  }
}

TEST(Names, SystemFolders) {
  EXPECT_EQ(SystemFolderRest(u"$System$", kSys), u"");
  EXPECT_EQ(SystemFolderRest(u"$Third$", kSys), u"");
  EXPECT_EQ(SystemFolderRest(u"$THIRD$", kSys), u"");
  EXPECT_EQ(SystemFolderRest(u"$System$\\", kSys), u"");
  EXPECT_EQ(SystemFolderRest(u"$System$drivers\\etc\\", kSys), u"drivers\\etc\\");
  EXPECT_EQ(SystemFolderRest(u"$Third$sub/deeper/", kSys), u"sub\\deeper\\");
  EXPECT_EQ(SystemFolderRest(u"$System$sub", kSys), u"sub");
  // Climbing out once the token is replaced, in any letter case, with either
  // slash, however deep.
  for (const char16_t* f : {u"$System$..\\", u"$System$../", u"$SyStEm$..\\", u"$Third$..\\Tasks\\",
                            u"$third$../Tasks/", u"$System$a\\..\\..\\", u"$System$a/b/../../../",
                            u"$Third$...\\", u"$System$\\..\\", u"$System$a\\..\\b\\"}) {
    SCOPED_TRACE(ToUtf8(f));
    EXPECT_THROW(
        {
          const std::u16string rest = SystemFolderRest(f, kSys);
          PlaceRowFile(rest, u"win.ini");
        },
        PackageReadError);
  }
  // No token, a token not at the start, a second copy of the directory, a
  // device in the rest.
  for (const char16_t* f :
       {u"$", u"$Temp$", u"$SYSTEM$", u"$system$", u"$x$System$", u"$System$$System$",
        u"$System$C:\\", u"$System$nul\\", u"$Third$com1.x\\"}) {
    SCOPED_TRACE(ToUtf8(f));
    EXPECT_THROW(
        {
          const std::u16string rest = SystemFolderRest(f, kSys);
          PlaceRowFile(rest, u"x.dll");
        },
        PackageReadError);
  }
}
