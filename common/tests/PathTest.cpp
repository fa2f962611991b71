#include "common/Path.h"

#include <gtest/gtest.h>

#include "common/Text.h"

TEST(Path, ComparesWithoutLetterCase) {
  struct Case {
    const char16_t *path, *other;
    bool same, liesIn;
  } cases[] = {
      {u"C:\\A\\Uninst.exe", u"c:\\a\\UNINST.EXE", true, false},
      {u"C:\\A\\Uninst.exe", u"C:\\A\\Uninst.ex", false, true},
      {u"c:\\program files\\x\\Drawlet.exe", u"C:\\Program Files\\X\\", false, true},
      {u"C:\\Program Files\\X2\\Drawlet.exe", u"C:\\Program Files\\X\\", false, false},
      {u"C:\\Program Files\\X\\", u"C:\\Program Files\\X\\", true, false},
      {u"anything", u"", false, false},
      {u"\u00C9", u"\u00E9", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SamePath(c.path, c.other), c.same) << ToUtf8(c.path);
    EXPECT_EQ(LiesIn(c.path, c.other), c.liesIn) << ToUtf8(c.path);
  }
}

TEST(Path, Splits) {
  struct Case {
    const char16_t *path, *fileDir, *fileName, *parent, *split, *levels;
  } cases[] = {
      {u"C:\\a\\b.txt", u"C:\\a\\", u"b.txt", u"C:\\a\\", u"C:\\a\\", u"C:|a|b.txt"},
      {u"C:b.txt", u"C:", u"b.txt", u"", u"", u"C:b.txt"},
      {u"a/b\\\\c", u"a/b\\\\", u"c", u"a/b\\\\", u"a/b\\\\", u"a/b|c"},
      {u"d/e", u"", u"d/e", u"d/", u"", u"d/e"},
      {u"\\x\\", u"\\x\\", u"", u"\\x\\", u"\\x\\", u"x"},
      {u"", u"", u"", u"", u"", u""},
  };
  for (const auto& c : cases) {
    const std::u16string path = c.path;
    EXPECT_EQ(ExtractFileDir(path), c.fileDir) << ToUtf8(path);
    EXPECT_EQ(ExtractFileName(path), c.fileName) << ToUtf8(path);
    EXPECT_EQ(ParentFolder(path), c.parent) << ToUtf8(path);
    const TPathSplit split = SplitPath(path);
    EXPECT_EQ(split.folder, c.split) << ToUtf8(path);
    EXPECT_EQ(split.folder + split.name, path);
    std::u16string levels;
    for (const std::u16string& level : PathLevels(path))
      levels += (levels.empty() ? u"" : u"|") + level;
    EXPECT_EQ(levels, c.levels) << ToUtf8(path);
  }
  EXPECT_EQ(ChangeFileExt(u"a.b\\c.txt", u".lnk"), u"a.b\\c.lnk");
  EXPECT_EQ(ChangeFileExt(u"a.b\\c", u".lnk"), u"a.b\\c.lnk");
  EXPECT_EQ(AsFolder(u"a"), u"a\\");
  EXPECT_EQ(AsFolder(u"a/"), u"a/");
  EXPECT_EQ(AsFolder(u""), u"\\");
}
