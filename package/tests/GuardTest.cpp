// Hostile packages, planted files and links, and files in use: what the
// extractor refuses, and what it leaves as it was.
#include <gtest/gtest.h>

#include <functional>
#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fs/Errors.h"
#include "package/Names.h"
#include "package/tests/PackageFixture.h"
#include "testsupport/Links.h"

namespace {

using testsupport::PlantLink;
using testsupport::RemoveLink;
using testsupport::ShownAsLink;
using testsupport::Tree;

// The scratch folder, and links planted in it that go before it does (the
// runtime's recursive removal under Wine does not end on a link to a
// folder).
struct LinkScratch : Scratch {
  std::vector<fs::path> links;
  bool Plant(const fs::path& target, const fs::path& link) {
    links.push_back(link);
    return PlantLink(target, link);
  }
  void TearDown() override {
    for (const fs::path& l : links)
      RemoveLink(l);
    Scratch::TearDown();
  }
};

}  // namespace

using HostileRows = LinkScratch;
using PlantedLinks = LinkScratch;
using HeldPackage = LinkScratch;
using InUse = LinkScratch;

// ---- Rows that would write where they must not

// Which names are refused is the name rule's table (NamesTest); here one row
// for each way the extractor reaches the rule: the folder and name cells of
// an ordinary row, the uninstaller's row, a system row's name and the rest
// of its folder, and a system folder that climbs out once the token is
// replaced. Each comes second, after an ordinary row, and nothing is written,
// not even the ordinary row's file.
TEST_F(HostileRows, EveryKindOfRowIsRefusedBeforeAnythingIsWritten) {
  // A system directory of the test's own, so that its parent can be watched.
  system = FromFsPath(root / "windows" / "system32") + u"\\";
  fs::create_directories(root / "windows" / "system32");
  const std::vector<Entry> bad = {
      {u"", u"CON", "x"},
      {u"aux\\", u"index.htm", "x"},
      {u"help \\", u"index.htm", "x"},
      {u"", u"Drawlet.exe:evil.exe", "x"},
      {u"", u"flat\\CON", "x", u"-1"},
      {u"$System$", u"prn.dll", "x"},
      {u"$Third$nul\\", u"x.dll", "x"},
      {u"$System$..\\", u"evil.ini", "x"},
      {u"$third$../Tasks/", u"evil.ini", "x"},
  };
  for (const Entry& e : bad) {
    SCOPED_TRACE(ToUtf8(e.folder + u"|" + e.name));
    const auto pkg = Make({{u"", u"first.txt", "1"}, e});
    const std::u16string error = ErrorOf([&] { Extract(pkg); });
    EXPECT_NE(error.find(u"row 2"), std::u16string::npos) << ToUtf8(error);
    EXPECT_TRUE(Files(Dest()).empty());
    EXPECT_EQ(Tree(root / "windows"), std::vector<std::string>{"system32"});
    EXPECT_TRUE(percents.empty());
  }
}

TEST_F(HostileRows, AnExistingSystemFileIsNotReplacedThroughANameWithFolders) {
  const std::u16string name = u"stp_ini_" + IntToText(std::random_device{}()) + u".ini";
  WriteAll(Sys(name), "the system's own");
  for (const std::u16string& cell : {u"sub\\" + name, u"a/b/" + name, u"c:" + name}) {
    SCOPED_TRACE(ToUtf8(cell));
    Extract(Make({{u"$System$", cell, "replaced"}, {u"$Third$", cell, "replaced"}}));
    EXPECT_EQ(ReadAll(Sys(name)), "the system's own");
    EXPECT_TRUE(percents.empty());  // both skipped
  }
  EXPECT_FALSE(fs::exists(Sys(u"sub")));
  std::error_code ec;
  fs::remove(Sys(name), ec);
}

TEST_F(HostileRows, SlashesSeparateAsBackslashesDoAndTheListAgrees) {
  const auto pkg = Make({
      {u"bin/", u"a.dll", "a"},
      {u"bin\\", u"sub/b.dll", "b"},
      {u"", u"c/d\\e.txt", "e"},
      {u"docs//deep\\\\", u"f.txt", "f"},
  });
  Extract(pkg);
  EXPECT_EQ(ReadAll(Dest(u"bin\\a.dll")), "a");
  EXPECT_EQ(ReadAll(Dest(u"bin\\b.dll")), "b");
  EXPECT_EQ(ReadAll(Dest(u"e.txt")), "e");
  EXPECT_EQ(ReadAll(Dest(u"docs\\deep\\f.txt")), "f");
  EXPECT_EQ(Files(Dest()).size(), 4u);
  // What was written is where the shared rule (which the uninstaller reads
  // its list by) places it.
  for (const TRowPlan& r : PlanPackage(pkg, dest, u"", options)) {
    EXPECT_EQ(r.targetPath, dest + PlaceRowFile(r.folder, r.fileName).Path());
    EXPECT_TRUE(fs::is_regular_file(ToFsPath(r.targetPath))) << ToUtf8(r.targetPath);
  }
}

// ---- Temporary files

TEST_F(HostileRows, TemporaryNamesAreNewAndNeverAFileThatIsThere) {
  // A user's file and a link under the name a fixed scheme would have used.
  WriteAll(Dest(u"readme.txt.stp-part"), "the user's own");
  WriteAll(root / "outside.txt", "outside");
  ASSERT_TRUE(Plant(root / "outside.txt", Dest(u"index.htm.stp-part")));
  Extract(Make({{u"", u"readme.txt", "read me"}, {u"", u"index.htm", "index"}}));
  EXPECT_EQ(ReadAll(Dest(u"readme.txt")), "read me");
  EXPECT_EQ(ReadAll(Dest(u"index.htm")), "index");
  EXPECT_EQ(ReadAll(Dest(u"readme.txt.stp-part")), "the user's own");
  EXPECT_EQ(ReadAll(root / "outside.txt"), "outside");
  EXPECT_EQ(Tree(Dest()).size(), 4u);  // the two and the two planted

  // Each file made new goes under a name of its own, and only while unplaced.
  FolderTree tree(dest, FolderTree::RootLink::kRefuse);
  {
    NewFile a(tree.Root(), u"x.dll"), b(tree.Root(), u"x.dll");
    EXPECT_NE(a.Temp(), b.Temp());
    EXPECT_EQ(a.Temp().rfind(u"x.dll.", 0), 0u);
    EXPECT_TRUE(a.Temp().ends_with(u".stp-part"));
  }
  EXPECT_EQ(Tree(Dest()).size(), 4u);
}

// ---- Links planted in the destination tree

TEST_F(PlantedLinks, AFolderLinkInTheTreeIsNeverWrittenThrough) {
  fs::create_directories(root / "outside");
  fs::create_directories(Dest(u"a"));
  ASSERT_TRUE(Plant(root / "outside", Dest(u"help")));
  ASSERT_TRUE(Plant(root / "outside", Dest(u"a\\b")));
  if (!ShownAsLink(Dest(u"help")))
    GTEST_SKIP() << "this system does not show the planted folder link as a link";
  for (const Entry& e : std::vector<Entry>{{u"help\\", u"index.htm", "x"},
                                           {u"help\\new\\", u"index.htm", "x"},
                                           {u"a\\b\\c\\", u"x.txt", "x"}}) {
    SCOPED_TRACE(ToUtf8(e.folder));
    const std::u16string error = ErrorOf([&] { Extract(Make({e})); });
    EXPECT_NE(error.find(u"link"), std::u16string::npos) << ToUtf8(error);
    EXPECT_TRUE(Tree(root / "outside").empty());
  }
  // Beside the links, the tree is written as ever.
  Extract(Make({{u"a\\", u"ok.txt", "ok"}}));
  EXPECT_EQ(ReadAll(Dest(u"a\\ok.txt")), "ok");
}

TEST_F(PlantedLinks, TheDestinationItselfIsALink) {
  fs::create_directories(root / "outside");
  ASSERT_TRUE(Plant(root / "outside", root / "dest"));
  if (!ShownAsLink(root / "dest"))
    GTEST_SKIP() << "this system does not show the planted folder link as a link";
  try {
    Extract(Make({{u"", u"a.txt", "a"}}));
    ADD_FAILURE() << "no error";
  } catch (const LinkError& e) {
    // Named, so that the setup program can say which folder it is.
    EXPECT_EQ(e.Link() + u"\\", dest);
  }
  EXPECT_TRUE(Tree(root / "outside").empty());
}

TEST_F(PlantedLinks, ATargetThatIsALinkIsLeftAsItIs) {
  WriteAll(root / "outside.txt", "outside");
  fs::create_directories(Dest());
  ASSERT_TRUE(Plant(root / "outside.txt", Dest(u"readme.txt")));
  if (!ShownAsLink(Dest(u"readme.txt"))) {
    // Wine shows a link to a file as the file itself; the rule is the same
    // call as for folders, tested natively.
    GTEST_SKIP() << "this system does not show a link to a file as a link";
  }
  const std::u16string error = ErrorOf([&] { Extract(Make({{u"", u"readme.txt", "evil"}})); });
  EXPECT_NE(error.find(u"link"), std::u16string::npos) << ToUtf8(error);
  EXPECT_EQ(ReadAll(root / "outside.txt"), "outside");
  EXPECT_TRUE(ShownAsLink(Dest(u"readme.txt")));
}

TEST_F(PlantedLinks, AFolderLinkBelowTheSystemDirectory) {
  system = FromFsPath(root / "system32") + u"\\";
  fs::create_directories(root / "system32");
  fs::create_directories(root / "outside");
  ASSERT_TRUE(Plant(root / "outside", root / "system32" / "drivers"));
  if (!ShownAsLink(root / "system32" / "drivers"))
    GTEST_SKIP() << "this system does not show the planted folder link as a link";
  const std::u16string error = ErrorOf([&] {
    Extract(Make({{u"$System$drivers\\", u"evil.sys", "x"}}));
  });
  EXPECT_NE(error.find(u"link"), std::u16string::npos) << ToUtf8(error);
  EXPECT_TRUE(Tree(root / "outside").empty());
}

// ---- The folders on the way to the destination: held from the top down,
// tested through their holds, and none adopted that appears meanwhile

// Each row makes root/<row>/above/dest, changes it as a user of the machine
// could, and names the folder the test must find (empty: none). Off Windows
// the other user is "nobody", which needs root; Wine shows every file as
// this account's, so there only a link can be planted (as a reparse point
// that belongs to nobody known).
TEST_F(PlantedLinks, EveryFolderOnTheWayIsTestedThroughItsHold) {
  struct Row {
    const char* what;
    std::function<bool(const fs::path& above, const fs::path& dest)> change;
    const char* named;  // "above", "dest", "link" or ""
  };
  const auto linkAbove = [&](const fs::path& above, const fs::path&) {
    fs::create_directories(above.parent_path() / "real");
    fs::rename(above, above.parent_path() / "real" / "above");
    return Plant(above.parent_path() / "real", above.parent_path() / "link");
  };
  std::vector<Row> rows = {{"nothing changed", [](auto&, auto&) { return true; }, ""}};
#ifndef _WIN32
  const passwd* other = getpwnam("nobody");
  if (geteuid() != 0 || other == nullptr)
    GTEST_SKIP() << "giving folders to another account needs root and the account \"nobody\"";
  const auto give = [&](const fs::path& p) {
    return lchown(p.c_str(), other->pw_uid, other->pw_gid) == 0;
  };
  const auto mode = [](const fs::path& p, mode_t m) { return chmod(p.c_str(), m) == 0; };
  rows.push_back({"the destination is another account's",
                  [&](auto&, const fs::path& d) { return give(d); }, "dest"});
  rows.push_back({"a folder above that anyone may write to",
                  [&](const fs::path& a, auto&) { return mode(a, 0777); }, "above"});
  rows.push_back({"a sticky folder above that anyone may write to",
                  [&](const fs::path& a, auto&) { return mode(a, 01777); }, ""});
  rows.push_back({"a sticky destination that anyone may write to",
                  [&](auto&, const fs::path& d) { return mode(d, 01777); }, "dest"});
  rows.push_back({"a link above of root's", linkAbove, ""});
  rows.push_back({"a link above of another account's",
                  [&](const fs::path& a, const fs::path& d) {
                    return linkAbove(a, d) && give(a.parent_path() / "link");
                  },
                  "link"});
#else
  rows.push_back({"a link above", linkAbove, "link"});
#endif
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const fs::path base = root / ("way" + std::to_string(++n));
    fs::create_directories(base / "above" / "dest");
    ASSERT_TRUE(r.change(base / "above", base / "above" / "dest"));
    const fs::path at = r.named == std::string("link") ? base / "link" : base / "above";
    const std::u16string destination = FromFsPath(at / "dest") + u"\\";
    if (r.named == std::string("link") && !ShownAsLink(at))
      GTEST_SKIP() << "this system does not show the planted folder link as a link";
    const std::u16string expected = r.named == std::string("dest")    ? FromFsPath(at / "dest")
                                    : r.named == std::string("above") ? FromFsPath(at)
                                    : r.named == std::string("link")  ? FromFsPath(at)
                                                                      : u"";
    FolderTree tree(destination, FolderTree::RootLink::kRefuse);
    EXPECT_EQ(ToUtf8(tree.FindOthersMayChange()), ToUtf8(expected));
    // Refused before anything is written when the run is told to.
    options.refuseFoldersOthersMayChange = true;
    const std::u16string error = ErrorOf([&] {
      ExtractPackage(Make({{u"", u"a.txt", "a"}}), destination, u"", {}, options);
    });
    EXPECT_EQ(error.empty(), expected.empty()) << ToUtf8(error);
    EXPECT_EQ(fs::exists(at / "dest" / "a.txt"), expected.empty());
  }
}

TEST_F(PlantedLinks, AFolderThatAppearsAfterTheLookIsNotUsed) {
  FolderTree tree(dest + u"sub\\", FolderTree::RootLink::kRefuse, false);
  EXPECT_EQ(ToUtf8(tree.FindOthersMayChange()), "");
  // Made by someone else between the look and the run's own making.
  fs::create_directories(root / "dest");
  try {
    tree.Make();
    ADD_FAILURE() << "the folder was used";
  } catch (const FolderChangedError& e) {
    EXPECT_EQ(e.Folder() + u"\\", dest);
  }
  EXPECT_FALSE(fs::exists(root / "dest" / "sub"));
}

// ---- Folders held for the run: a folder swapped for a link after it was
// entered is never followed

TEST_F(PlantedLinks, AFolderSwappedForALinkAfterItWasEnteredIsNotFollowed) {
  struct Case {
    const char* what;
    std::u16string entered;  // the folder the file is made in
    std::u16string swapped;  // the folder then renamed away and replaced by a link
  };
  for (const Case& c : std::vector<Case>{{"the file's own folder", u"sub\\", u"sub"},
                                         {"a folder above it", u"a\\b\\", u"a"},
                                         {"the destination", u"", u""}}) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(root / "outside", ec);
    fs::create_directories(root / "outside");
    FolderTree tree(dest, FolderTree::RootLink::kRefuse);
    HeldFolder& folder = tree.Enter(c.entered, true);
    NewFile file(folder, u"evil.dll");
    file.Out().Write("evil", 4);
    // The attacker's move between the checks and the rename.
    const fs::path swapped = c.swapped.empty() ? root / "dest" : Dest(c.swapped);
    fs::rename(swapped, swapped.string() + "-old", ec);
    const bool renamed = !ec;
#ifdef _WIN32
    // A held folder (and any folder above one) cannot be renamed.
    EXPECT_FALSE(renamed);
#endif
    if (renamed) {
      links.push_back(swapped);
      ASSERT_TRUE(PlantLink(root / "outside", swapped));
    }
    ASSERT_TRUE(file.Place(true));
    EXPECT_TRUE(Tree(root / "outside").empty());
    if (renamed) {
      RemoveLink(swapped);
      fs::rename(swapped.string() + "-old", swapped, ec);
    }
  }
}

TEST_F(PlantedLinks, ASystemFileAlreadyThereIsKeptWhateverItIs) {
  // Skipped before any link test: a system file that is a link stays; and
  // one that appears while the new file is written is kept, not replaced.
  system = FromFsPath(root / "system32") + u"\\";
  fs::create_directories(root / "system32");
  WriteAll(root / "real.dll", "real");
  ASSERT_TRUE(Plant(root / "real.dll", root / "system32" / "linked.dll"));
  Extract(Make({{u"$System$", u"linked.dll", "new"}, {u"", u"a.txt", "a"}}));
  EXPECT_EQ(ReadAll(root / "real.dll"), "real");
  EXPECT_EQ(ReadAll(Dest(u"a.txt")), "a");

  {
    FolderTree tree(system, FolderTree::RootLink::kFollow);
    NewFile file(tree.Root(), u"late.dll");
    file.Out().Write("new", 3);
    WriteAll(root / "system32" / "late.dll", "late");
    EXPECT_FALSE(file.Place(false));
  }
  EXPECT_EQ(ReadAll(root / "system32" / "late.dll"), "late");
  EXPECT_EQ(Tree(root / "system32"), (std::vector<std::string>{"late.dll", "linked.dll"}));
}

// ---- The package file held between writing and reading

TEST_F(HeldPackage, WhatLiesAtItsNameIsReplacedAndNeverFollowed) {
  FolderTree tree(FromFsPath(root), FolderTree::RootLink::kRefuse);
  WriteAll(root / "outside.txt", "outside");
  auto make = [&] {
    HeldFile held(tree.Root(), u"Setup.stp");
    held.Write("package", 7);
  };
  // A file left by an earlier run, or planted; a read-only one too.
  WriteAll(root / "Setup.stp", "planted, and longer than the package");
  make();
  EXPECT_EQ(ReadAll(root / "Setup.stp"), "package");
  fs::permissions(root / "Setup.stp", fs::perms::owner_write, fs::perm_options::remove);
  make();
  EXPECT_EQ(ReadAll(root / "Setup.stp"), "package");
  fs::permissions(root / "Setup.stp", fs::perms::owner_write, fs::perm_options::add);
  fs::remove(root / "Setup.stp");

  // A link to a file elsewhere: the link is replaced, its target untouched.
  ASSERT_TRUE(Plant(root / "outside.txt", root / "Setup.stp"));
  make();
  EXPECT_EQ(ReadAll(root / "outside.txt"), "outside");
  EXPECT_EQ(ReadAll(root / "Setup.stp"), "package");
  fs::remove(root / "Setup.stp");

  // An empty folder goes; one with something in it stays whole and fails.
  fs::create_directories(root / "Setup.stp");
  make();
  EXPECT_EQ(ReadAll(root / "Setup.stp"), "package");
  fs::remove(root / "Setup.stp");
  WriteAll(root / "Setup.stp" / "inside.txt", "x");
  EXPECT_THROW(make(), FileError);
  EXPECT_EQ(ReadAll(root / "Setup.stp" / "inside.txt"), "x");
  fs::remove_all(root / "Setup.stp");
  // No file of its own stays behind from any of these.
  for (const std::string& f : Tree(root))
    EXPECT_EQ(f.find(".stp-part"), std::string::npos) << f;
  // Deleted through its own handle.
  {
    HeldFile held(tree.Root(), u"Setup.stp");
    EXPECT_TRUE(held.Delete());
  }
  EXPECT_FALSE(fs::exists(root / "Setup.stp"));
}

TEST_F(HeldPackage, TheExtractorReadsThroughTheHeldFile) {
  const std::u16string source = Make({{u"", u"a.txt", "alpha"}, {u"b\\", u"b.txt", "beta"}});
  const std::string bytes = ReadAll(ToFsPath(source));
  const std::u16string at = FromFsPath(root / "Setup.stp");
  {
    FolderTree tree(FromFsPath(root), FolderTree::RootLink::kRefuse);
    HeldFile held(tree.Root(), u"Setup.stp");
    held.Write(bytes.data(), bytes.size());
#ifdef _WIN32
    // Others may read it, but not write, rename or delete it.
    const std::wstring w(at.begin(), at.end());
    const HANDLE reader =
        CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    EXPECT_EQ(CreateFileW(w.c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileW(w.c_str()));
    EXPECT_FALSE(MoveFileW(w.c_str(), (w + L".aside").c_str()));
    std::u16string why;
    WriteAll(root / "swap.stp", "swapped");
    EXPECT_FALSE(RenameOver(FromFsPath(root / "swap.stp"), at, why));
#endif
    const std::unique_ptr<InFile> in = held.Reader();
    EXPECT_EQ(in->Size(), static_cast<int64_t>(bytes.size()));
    ExtractPackage(*in, dest, u"", progress, options);
  }
  EXPECT_EQ(ReadAll(Dest(u"a.txt")), "alpha");
  EXPECT_EQ(ReadAll(Dest(u"b\\b.txt")), "beta");
  EXPECT_EQ(ReadAll(root / "Setup.stp"), bytes);
  EXPECT_EQ(percents.back(), 100);
}

// ---- A file in use

#ifdef _WIN32
// The target is mapped as a program image, as a running program's file is:
// it may be renamed but neither replaced nor deleted, on Windows and under
// Wine alike.
TEST_F(InUse, AProgramImageInUseFailsTheRunAndStaysAsItWas) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  fs::create_directories(root / "dest");
  const std::wstring target = Dest(u"held.exe").wstring();
  ASSERT_TRUE(CopyFileW(self, target.c_str(), FALSE));
  const std::string before = ReadAll(target);
  const HANDLE file =
      CreateFileW(target.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const HANDLE image = CreateFileMappingW(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
  CloseHandle(file);
  ASSERT_NE(image, nullptr);
  void* view = MapViewOfFile(image, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);

  const auto pkg = Make({{u"", u"first.txt", "1"}, {u"", u"held.exe", "the new version"}});
  const std::u16string error = ErrorOf([&] { Extract(pkg); });
  EXPECT_NE(error.find(u"held.exe (is it in use?)"), std::u16string::npos) << ToUtf8(error);
  EXPECT_EQ(ReadAll(target), before);
  // Found before anything was written: no second copy, no temporary file,
  // not the first row's file either.
  EXPECT_EQ(Tree(Dest()), (std::vector<std::string>{"held.exe"}));

  UnmapViewOfFile(view);
  CloseHandle(image);
  percents.clear();
  Extract(pkg);
  EXPECT_EQ(ReadAll(target), "the new version");
  EXPECT_EQ(Tree(Dest()), (std::vector<std::string>{"first.txt", "held.exe"}));
  EXPECT_EQ(percents.back(), 100);
}
#endif
