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

// Written behind, a large file is handed to the disk part by part while it
// is written (on Windows to the flusher's thread, again and again); however
// it is finished, every byte is there once it is placed.
TEST_F(FileOps, AFileWrittenBehindIsWholeHoweverItIsFinished) {
  struct Case {
    const char* what;
    std::function<void(NewFile&)> finish;
  };
  const Case cases[] = {
      {"finished unflushed, then flushed", [](NewFile& f) { f.FinishUnflushed(), f.Flush(); }},
      {"finished flushed", [](NewFile& f) { f.Finish(true); }},
      {"finished unflushed and placed unawaited", [](NewFile& f) { f.FinishUnflushed(); }},
  };
  // Parts of 1 MiB, each its own: 33 of them is past two handovers.
  std::string part = RandomBytes(1 << 20, 7, false);
  FolderTree tree(FromFsPath(root) + u"\\behind\\", FolderTree::RootLink::kRefuse);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string whole;
    {
      NewFile file(tree.Root(), u"big.bin");
      file.WriteBehind();
      for (int i = 0; i < 33; ++i) {
        part[0] = static_cast<char>(i);
        file.Out().Write(part.data(), part.size());
        whole += part;
      }
      c.finish(file);
      file.Place(true);
    }
    EXPECT_TRUE(ReadAll(root / "behind" / "big.bin") == whole);
  }
}
