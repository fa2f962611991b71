// The uninstaller's rules: language, texts, and what a removal may touch.
#include "uninst/UninstallRules.h"

#include <gtest/gtest.h>

#include "common/Text.h"
#include "common/tests/ErrorOf.h"

namespace {

bool Has(const std::u16string& text, const std::u16string& part) {
  return text.find(part) != std::u16string::npos;
}

const std::u16string kDest = u"C:\\Program Files\\Norvane Soft\\Drawlet\\";
const std::u16string kSelf = kDest + u"Uninst.exe";

}  // namespace

TEST(UninstallTexts, LanguageFollowsThePublisher) {
  EXPECT_TRUE(IsChinesePublisher(u"诺凡软件"));
  EXPECT_FALSE(IsChinesePublisher(u"Norvane Software"));
  EXPECT_FALSE(IsChinesePublisher(u""));

  const TUninstallTexts zh = MakeUninstallTexts(true, u"诺凡画图", u"1.0");
  EXPECT_EQ(zh.caption, u"卸载 诺凡画图");
  EXPECT_TRUE(Has(zh.question, u"诺凡画图 1.0"));
  EXPECT_TRUE(Has(zh.question, u"吗？"));
  EXPECT_TRUE(Has(zh.done, u"诺凡画图 1.0"));
  const TUninstallTexts en = MakeUninstallTexts(false, u"Norvane Drawlet", u"1.0");
  EXPECT_EQ(en.caption, u"Uninstall Norvane Drawlet");
  EXPECT_TRUE(Has(en.question, u"remove Norvane Drawlet 1.0 from this computer?"));
  EXPECT_TRUE(Has(en.question, u"are kept"));
  EXPECT_EQ(en.done, u"Norvane Drawlet 1.0 has been removed from this computer.");
  // Without a version the name stands alone.
  EXPECT_EQ(MakeUninstallTexts(false, u"Drawlet", u"").done,
            u"Drawlet has been removed from this computer.");
}

TEST(UninstallTexts, MessagesNameWhatIsWrong) {
  for (const bool zh : {true, false}) {
    const std::u16string inUse = FileInUseText(zh, u"Drawlet", kDest + u"Drawlet.exe", u"busy");
    EXPECT_TRUE(Has(inUse, kDest + u"Drawlet.exe")) << zh;
    EXPECT_TRUE(Has(inUse, u"busy")) << zh;
    EXPECT_FALSE(Has(FileInUseText(zh, u"Drawlet", u"x", u""), u"()")) << zh;
    EXPECT_TRUE(Has(KeyKeptText(zh, u"Drawlet", u"denied"), u"denied")) << zh;
    EXPECT_TRUE(Has(NotInstalledText(zh, kSelf), kSelf)) << zh;
    EXPECT_TRUE(Has(NoListText(zh, u"damaged list"), u"damaged list")) << zh;
    EXPECT_TRUE(Has(UnknownOptionText(zh, u"/Q"), u"/Q")) << zh;
    EXPECT_TRUE(Has(UnknownOptionText(zh, u"/Q"), u"/S")) << zh;
  }
  EXPECT_TRUE(Has(FileInUseText(true, u"诺凡画图", u"x", u""), u"请关闭 诺凡画图"));
  EXPECT_EQ(PlainCaption(true), u"卸载");
  EXPECT_EQ(PlainCaption(false), u"Uninstall");
}

TEST(UninstallTexts, ARunWithoutAdministratorRightsSaysSo) {
  const std::u16string zh = NeedsAdministratorText(true, u"诺凡画图");
  EXPECT_TRUE(Has(zh, u"诺凡画图"));
  EXPECT_TRUE(Has(zh, u"以管理员身份"));
  EXPECT_TRUE(Has(zh, u"未删除任何内容"));
  const std::u16string en = NeedsAdministratorText(false, u"Norvane Drawlet");
  EXPECT_TRUE(Has(en, u"Norvane Drawlet can only be removed by an administrator."));
  EXPECT_TRUE(Has(en, u"Run as administrator"));
  EXPECT_TRUE(Has(en, u"Nothing was removed."));
  // Nothing like the texts for a product that is not installed.
  EXPECT_FALSE(Has(en, u"list of installed programs belongs"));
}

TEST(RemovalPlan, ListedDestinationFilesAndTheirFoldersOnly) {
  const std::vector<TUninstallRow> rows = {
      {u"$System$", u"NvDrawlet.dat", true}, {u"", u"Drawlet.exe", false},
      {u"help\\", u"index.htm", false},      {u"help\\img\\big\\", u"a.png", false},
      {u"help\\IMG\\", u"b.png", false},     {u"docs/", u"readme.txt", false},
      {u"", u"UNINST.EXE", false},
  };
  const TRemovalPlan plan = PlanRemoval(rows, kDest, kSelf);
  // No system row, not the running program; Setup.stp when a run left it.
  EXPECT_EQ(plan.files, (std::vector<std::u16string>{
                            kDest + u"Drawlet.exe", kDest + u"help\\index.htm",
                            kDest + u"help\\img\\big\\a.png", kDest + u"help\\IMG\\b.png",
                            kDest + u"docs\\readme.txt", kDest + u"Setup.stp"}));
  // Deepest first, each once whatever its letter case.
  EXPECT_EQ(plan.folders,
            (std::vector<std::u16string>{kDest + u"help\\img\\big\\", kDest + u"help\\img\\",
                                         kDest + u"help\\", kDest + u"docs\\"}));
  // A listed Setup.stp is not named twice.
  const TRemovalPlan listed = PlanRemoval({{u"", u"setup.stp", false}}, kDest, kSelf);
  EXPECT_EQ(listed.files, std::vector<std::u16string>{kDest + u"setup.stp"});
  EXPECT_TRUE(listed.folders.empty());
}

TEST(RemovalPlan, RowsOutsideTheDestinationAreRefused) {
  for (const TUninstallRow& r : std::vector<TUninstallRow>{{u"..\\", u"boot.ini", false},
                                                           {u"help\\..\\..\\", u"x", false},
                                                           {u"\\Windows\\", u"x", false},
                                                           {u"D:\\", u"x", false},
                                                           {u"a\\... \\", u"x", false},
                                                           {u"", u"..", false}}) {
    const std::u16string e = ErrorOf([&] { PlanRemoval({r}, kDest, kSelf); });
    EXPECT_TRUE(Has(e, u"no file of the destination folder")) << ToUtf8(r.folder + r.name);
    EXPECT_TRUE(Has(e, r.folder + r.name)) << ToUtf8(e);
  }
  // A name with a folder part stays in its row's folder, as the extractor puts it.
  EXPECT_EQ(PlanRemoval({{u"help\\", u"..\\x.txt", false}}, kDest, kSelf).files[0],
            kDest + u"help\\x.txt");
}

// What the removal reaches through the destination's held folders.
TEST(RemovalPlan, EachPathIsReachedFromTheDestination) {
  struct Row {
    std::u16string path;
    bool reached;
    std::u16string folder = u"", name = u"";
  };
  for (const Row& r : std::vector<Row>{
           {kDest + u"Drawlet.exe", true, u"", u"Drawlet.exe"},
           {kDest + u"help\\sub\\index.htm", true, u"help\\sub\\", u"index.htm"},
           {kDest + u"help\\", true, u"help\\", u""},
           {u"c:\\program files\\norvane soft\\drawlet\\A.txt", true, u"", u"A.txt"},
           {kDest, false},
           {u"C:\\Program Files\\Norvane Soft\\Drawlet2\\a.txt", false},
           {kDest + u"..\\evil.dll", false},
           {kDest + u"a\\.\\b.txt", false},
           {kDest + u"a\\\\b.txt", false},
           {kDest + u"a\\..", false},
       }) {
    const std::optional<TRelativeRow> row = RelativeRow(r.path, kDest);
    ASSERT_EQ(row.has_value(), r.reached) << ToUtf8(r.path);
    if (row) {
      EXPECT_EQ(row->folder, r.folder) << ToUtf8(r.path);
      EXPECT_EQ(row->name, r.name) << ToUtf8(r.path);
    }
  }
}

TEST(RemovalPlan, RowsAreFoundByTheExtractorsRuleForNames) {
  // Names the extractor refuses were never written: the list that names them
  // is refused whole, so that nothing Windows reads otherwise is deleted.
  for (const TUninstallRow& r : std::vector<TUninstallRow>{{u"", u"nul.txt", false},
                                                           {u"", u"Com1 .log", false},
                                                           {u"", u"readme.txt:secret", false},
                                                           {u"", u"readme.txt::$DATA", false},
                                                           {u"help\\", u"index.htm.", false},
                                                           {u"help \\", u"index.htm", false},
                                                           {u"aux\\", u"x.txt", false}}) {
    const std::u16string e = ErrorOf([&] { PlanRemoval({r}, kDest, kSelf); });
    EXPECT_TRUE(Has(e, u"no file of the destination folder")) << ToUtf8(r.folder + r.name);
    EXPECT_TRUE(Has(e, r.folder + r.name)) << ToUtf8(e);
  }
  // "/" and "\" alike, runs of them as one; a folder text without its "\"
  // runs into the name, as the extractor writes it.
  const TRemovalPlan plan =
      PlanRemoval({{u"help//img/", u"a.png", false}, {u"bin", u"x.dll", false}}, kDest, kSelf);
  EXPECT_EQ(plan.files, (std::vector<std::u16string>{kDest + u"help\\img\\a.png",
                                                     kDest + u"binx.dll", kDest + u"Setup.stp"}));
  EXPECT_EQ(plan.folders, (std::vector<std::u16string>{kDest + u"help\\img\\", kDest + u"help\\"}));
}
