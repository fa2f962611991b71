// The file operations under the extractor, on each system's own calls.
#include <gtest/gtest.h>

#include <cstdio>

#include "fs/Errors.h"
#include "package/tests/PackageFixture.h"

#ifdef _WIN32
#include <direct.h>
#include <share.h>
#endif

using FileOps = Scratch;

namespace {

bool IsFolder(std::u16string_view path) {
  std::error_code ec;
  return std::filesystem::is_directory(ToFsPath(path), ec);
}

}  // namespace

TEST_F(FileOps, FoldersAreMadeLevelByLevel) {
  const std::u16string deep = FromFsPath(root) + u"\\a\\b c\\d\\";
  EXPECT_FALSE(IsFolder(deep));
  {
    FolderTree tree(deep, FolderTree::RootLink::kRefuse);
    EXPECT_EQ(tree.Root().Path(), deep);
  }
  EXPECT_TRUE(IsFolder(deep.substr(0, deep.size() - 1)));
  EXPECT_FALSE(FileExists(deep));
  FolderTree again(deep, FolderTree::RootLink::kRefuse);  // already there
  // A file where a folder would go.
  WriteAll(root / "file", "x");
  EXPECT_THROW(FolderTree(FromFsPath(root) + u"\\file\\sub\\", FolderTree::RootLink::kRefuse),
               FileError);
  EXPECT_TRUE(FileExists(FromFsPath(root / "file")));
  EXPECT_FALSE(IsFolder(FromFsPath(root / "file")));
}

#ifdef _WIN32
TEST_F(FileOps, AFolderNameMayEndInABlank) {
  const std::u16string folder = FromFsPath(root) + u"\\Drawlet \\";
  {
    FolderTree tree(folder, FolderTree::RootLink::kRefuse);
    NewFile file(tree.Root(), u"a.txt");
    file.Out().Write("a", 1);
    file.Place(true);
  }
  EXPECT_TRUE(FileExists(folder + u"a.txt"));
  // Not the same folder as the one without the blank.
  EXPECT_FALSE(FileExists(FromFsPath(root) + u"\\Drawlet\\a.txt"));
  // Cleared here: the library's recursive removal cannot name it.
  EXPECT_TRUE(RemoveFile(folder + u"a.txt"));
  EXPECT_EQ(_wrmdir(reinterpret_cast<const wchar_t*>(folder.c_str())), 0);
}
#endif

TEST_F(FileOps, RenameOverReplacesAndKeepsTheOldFileWhenItCannot) {
  const std::u16string base = FromFsPath(root) + u"\\";
  WriteAll(root / "new", "new");
  WriteAll(root / "old", "old");
  std::u16string why;
  ASSERT_TRUE(RenameOver(base + u"new", base + u"old", why)) << ToUtf8(why);
  EXPECT_EQ(ReadAll(root / "old"), "new");
  EXPECT_FALSE(FileExists(base + u"new"));
  EXPECT_FALSE(FileExists(base + u"old.stp-old"));
  // Onto a name that does not exist yet.
  WriteAll(root / "other", "other");
  ASSERT_TRUE(RenameOver(base + u"other", base + u"fresh", why));
  EXPECT_EQ(ReadAll(root / "fresh"), "other");
  // From a file that is not there: the target stays as it was.
  EXPECT_FALSE(RenameOver(base + u"missing", base + u"fresh", why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(ReadAll(root / "fresh"), "other");
#ifdef _WIN32
  // A target held open without sharing cannot be replaced, and is not lost.
  WriteAll(root / "next", "next");
  FILE* held =
      _wfsopen(reinterpret_cast<const wchar_t*>((base + u"fresh").c_str()), L"rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  EXPECT_FALSE(RenameOver(base + u"next", base + u"fresh", why));
  std::fclose(held);
  EXPECT_EQ(ReadAll(root / "fresh"), "other");
  EXPECT_EQ(ReadAll(root / "next"), "next");
  EXPECT_FALSE(FileExists(base + u"fresh.stp-old"));
#endif
  EXPECT_TRUE(RemoveFile(base + u"fresh"));
  EXPECT_FALSE(RemoveFile(base + u"fresh"));
}
