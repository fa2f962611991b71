#include "app/WizardRules.h"

#include <gtest/gtest.h>

#include <map>

#include "common/Errors.h"
#include "common/Text.h"
#include "common/tests/ErrorOf.h"

namespace {

std::map<int, std::u16string> ShippedStrings() {
  return {{1001, u"Norvane Drawlet"}, {1002, u"诺凡画图"}, {1003, u"Norvane Drawlet"},
          {1004, u"诺凡画图"},        {1007, u"0"},        {1009, u"-1"},
          {1010, u"Drawlet"},         {1011, u"3.50"},     {1012, u"6 MB"}};
}

std::function<std::u16string(int)> Lookup(std::map<int, std::u16string> table) {
  return [table](int id) {
    auto it = table.find(id);
    return it == table.end() ? std::u16string() : it->second;
  };
}

}  // namespace

TEST(Language, FromStringOrCodePage) {
  EXPECT_EQ(ChooseLanguageIndex(u"0", 1252), 0);
  EXPECT_EQ(ChooseLanguageIndex(u"2", 936), 2);
  EXPECT_EQ(ChooseLanguageIndex(u"-1", 936), 0);
  EXPECT_EQ(ChooseLanguageIndex(u"-1", 1252), 2);
  EXPECT_EQ(ChooseLanguageIndex(u"-1", 950), 2);
  EXPECT_EQ(ErrorOf([] { ChooseLanguageIndex(u"", 936); }), u"'' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { ChooseLanguageIndex(u"zh", 936); }), u"'zh' is not a valid integer value");
}

TEST(ProductSettings, ByLanguageAndFreewareFlag) {
  const TProductSettings zh = LoadProductSettings(Lookup(ShippedStrings()), 0);
  EXPECT_EQ(zh.FProductName, u"诺凡画图");
  EXPECT_EQ(zh.FUninstallName, u"诺凡画图");
  EXPECT_EQ(zh.FShortName, u"Drawlet");
  EXPECT_EQ(zh.FVersion, u"3.50");
  EXPECT_EQ(zh.FSizeText, u"6 MB");
  EXPECT_TRUE(zh.FFreeware);
  const TProductSettings en = LoadProductSettings(Lookup(ShippedStrings()), 2);
  EXPECT_EQ(en.FProductName, u"Norvane Drawlet");

  for (const char16_t* yes : {u"-1", u"1", u"true"}) {
    auto t = ShippedStrings();
    t[1009] = yes;
    EXPECT_TRUE(LoadProductSettings(Lookup(t), 2).FFreeware) << ToUtf8(yes);
  }
  for (const char16_t* no : {u"0", u"False"}) {
    auto t = ShippedStrings();
    t[1009] = no;
    EXPECT_FALSE(LoadProductSettings(Lookup(t), 2).FFreeware) << ToUtf8(no);
  }
  auto bad = ShippedStrings();
  bad[1009] = u"yes";
  EXPECT_EQ(ErrorOf([&] { LoadProductSettings(Lookup(bad), 2); }),
            u"'yes' is not a valid boolean value");
  bad.erase(1009);
  EXPECT_THROW(LoadProductSettings(Lookup(bad), 2), ConvertError);
  // Missing texts read as empty.
  auto sparse = ShippedStrings();
  sparse.erase(1001);
  EXPECT_EQ(LoadProductSettings(Lookup(sparse), 2).FProductName, u"");
}

TEST(Texts, ChineseRun) {
  const auto p = LoadProductSettings(Lookup(ShippedStrings()), 0);
  const TWizardTexts t = MakeWizardTexts(0, p);
  EXPECT_EQ(t.Caption, u"安装向导 - 诺凡画图");
  EXPECT_EQ(t.lblWelcome, u"欢迎使用 诺凡画图 V3.50 安装\n向导");
  EXPECT_EQ(t.lblComplete, u"诺凡画图 V3.50 安装成功。");
  EXPECT_EQ(t.lblNeedSize, u"所需空间: 6 MB");
  EXPECT_EQ(t.FCancelCaption, u"取 消");
  EXPECT_FALSE(t.lblLicense.has_value());  // the layout's own text stays
  EXPECT_FALSE(t.showTips);
  ASSERT_EQ(t.licence.size(), 16u);  // freeware: clause 5 on one line
  EXPECT_EQ(t.licence[0], u"诺凡画图 用户许可协议");
  EXPECT_EQ(t.licence[8], u"");
  EXPECT_EQ(t.licence[12].substr(0, 3), u"5. ");

  TProductSettings shareware = p;
  shareware.FFreeware = false;
  const auto s = MakeWizardTexts(0, shareware).licence;
  ASSERT_EQ(s.size(), 18u);
  EXPECT_EQ(s[8].substr(0, 3), u"3. ");
  EXPECT_EQ(s[12], u"");
  EXPECT_EQ(s[13], u"");
  EXPECT_EQ(s[14].substr(0, 3), u"6. ");
}

TEST(Texts, EnglishRun) {
  const auto p = LoadProductSettings(Lookup(ShippedStrings()), 2);
  const TWizardTexts t = MakeWizardTexts(2, p);
  EXPECT_EQ(t.Caption, u"Setup - Norvane Drawlet");
  EXPECT_EQ(t.lblWelcome, u"Welcome to the Norvane Drawlet 3.50 Setup Wizard");
  EXPECT_EQ(t.lblFolderTip.value(), u"Where should Norvane Drawlet be installed?");
  EXPECT_EQ(t.chkRunOnExit.value(), u"Launch Norvane Drawlet");
  EXPECT_EQ(t.lblNeedSize, u"Space required: 6 MB");
  EXPECT_TRUE(t.showTips);
  ASSERT_EQ(t.licence.size(), 22u);
  EXPECT_EQ(t.licence[2],
            u"Please read the following terms and conditions carefully before using Norvane "
            u"Drawlet. Use of this software indicates you accept the terms of this license "
            u"agreement and warranty.");
  EXPECT_EQ(t.licence[14].substr(0, 11), u"But without");
  TProductSettings shareware = p;
  shareware.FFreeware = false;
  EXPECT_EQ(MakeWizardTexts(2, shareware).licence[14], u"");
  // Any language other than 0 is English.
  EXPECT_EQ(MakeWizardTexts(7, p).Caption, u"Setup - Norvane Drawlet");
}

TEST(PageFlow, IdleView) {
  for (int step = 1; step <= 4; ++step) {
    const TPageView v = IdleView(step, false);
    for (int page = 1; page <= 4; ++page)
      EXPECT_EQ(v.pageVisible[page - 1], page == step);
    EXPECT_EQ(v.prevVisible, step == 2 || step == 3) << step;
    EXPECT_EQ(v.closeVisible, step < 4) << step;
    EXPECT_EQ(v.nextEnabled, step != 3) << step;
  }
  EXPECT_TRUE(IdleView(3, true).nextEnabled);
}

TEST(Destination, TheFreeSpaceLine) {
  EXPECT_TRUE(FreeSpaceShown(u"D:\\apps", u"CD"));
  EXPECT_TRUE(FreeSpaceShown(u"d:\\apps", u"CD"));
  EXPECT_TRUE(FreeSpaceShown(u"C:\\", u"CD"));
  EXPECT_FALSE(FreeSpaceShown(u"D:apps", u"CD"));
  EXPECT_FALSE(FreeSpaceShown(u"D:", u"CD"));
  EXPECT_FALSE(FreeSpaceShown(u"\\\\server\\share", u"CD"));
  EXPECT_FALSE(FreeSpaceShown(u"E:\\apps", u"CD"));  // an optical drive
  EXPECT_FALSE(FreeSpaceShown(u"", u"CD"));
  EXPECT_FALSE(FreeSpaceShown(u"C:\\", u""));
}

TEST(Destination, NormalisedWithItsBackslash) {
  EXPECT_EQ(NormaliseDestination(u"C:\\Apps\\Drawlet"), u"C:\\Apps\\Drawlet\\");
  EXPECT_EQ(NormaliseDestination(u"C:\\Apps\\Drawlet\\"), u"C:\\Apps\\Drawlet\\");
  EXPECT_EQ(NormaliseDestination(u"  C:\\Apps  "), u"C:\\Apps  \\");  // blanks before the "\" stay
  EXPECT_EQ(NormaliseDestination(u"\tC:\\Apps\\ "), u"C:\\Apps\\ \\");
  EXPECT_EQ(NormaliseDestination(u" C:\\Apps\\"), u"C:\\Apps\\");
  EXPECT_EQ(NormaliseDestination(u""), u"\\");
}

TEST(Destination, TheProposedFolder) {
  EXPECT_EQ(DefaultDestination(u"D:\\Tools\\Drawlet\\", u"C:\\Program Files", u"Drawlet"),
            u"D:\\Tools\\Drawlet");
  EXPECT_EQ(DefaultDestination(u"D:\\", u"C:\\Program Files", u"Drawlet"), u"D:");
  EXPECT_EQ(DefaultDestination(u"", u"C:\\Program Files", u"Drawlet"),
            u"C:\\Program Files\\Norvane Soft\\Drawlet");
}

TEST(Destination, FolderNamesTrimmedAsTheSystemReadsThem) {
  const std::pair<const char16_t*, const char16_t*> rows[] = {
      {u"C:\\Apps\\Drawlet\\", u"C:\\Apps\\Drawlet\\"},
      {u"C:\\Apps\\Drawlet \\", u"C:\\Apps\\Drawlet\\"},
      {u"C:\\Apps. .\\Drawlet..\\", u"C:\\Apps\\Drawlet\\"},
      {u"C:\\Apps\\ \\Drawlet\\", u"C:\\Apps\\Drawlet\\"},
      {u"D:\\", u"D:\\"},
  };
  for (const auto& [in, want] : rows)
    EXPECT_EQ(ToUtf8(TrimFolderNames(in)), ToUtf8(want)) << ToUtf8(in);
}

TEST(ConflictNotice, BodyNamesTheProductThreeTimesInThreeParagraphs) {
  EXPECT_EQ(ConflictProductName(u""), u"诺凡画图");
  EXPECT_EQ(ConflictProductName(u"Clockrun"), u"诺凡定时助手");
  EXPECT_EQ(ConflictProductName(u"clockrun"), u"诺凡画图");  // exact, case-sensitive
  const std::u16string body = ConflictBody(u"诺凡画图");
  EXPECT_EQ(body,
            u"首先，感谢您使用“诺凡画图”软件。\n\n"
            u"但由于检测到您的系统正在运行“金山毒霸”，诺凡画图会被其错误和非法干扰，因此如果您希望"
            u"能正常运行诺凡画图，请更换其它更好更流行的免费防毒杀毒软件，比如360，COMODO等。\n\n"
            u"为此给您带来的不便，软件作者在此深表歉意。");
  size_t names = 0;
  for (size_t at = body.find(u"诺凡画图"); at != std::u16string::npos;
       at = body.find(u"诺凡画图", at + 1)) {
    ++names;
  }
  EXPECT_EQ(names, 3u);
  EXPECT_EQ(body.find(u'\r'), std::u16string::npos);  // line feeds only
  // The address shown and copied, on the uninstall key's host
  // (package/tests/UninstallListTest.cpp).
  EXPECT_EQ(ConflictHomePage(), u"http://www.norvane.com/index_chs.shtml");
}

TEST(WizardTexts, WarningsNameTheFolderInBothLanguages) {
  for (int32_t language : {0, 2}) {
    SCOPED_TRACE(language);
    const std::u16string open = OthersMayChangeText(language, u"C:\\Open");
    EXPECT_NE(open.find(u"C:\\Open"), std::u16string::npos);
    EXPECT_NE(open.find(u"Program Files"), std::u16string::npos);
    EXPECT_NE(LinkRefusedText(language, u"C:\\Link").find(u"C:\\Link"), std::u16string::npos);
    // A journal that cannot be read is named, with no older version to close.
    const std::u16string journal = ExtractFailedText(language, u"C:\\D\\Setup.journal: damaged");
    EXPECT_NE(journal.find(u"C:\\D\\Setup.journal: damaged"), std::u16string::npos);
    EXPECT_EQ(journal.find(MakeWizardTexts(language, {}).FMsgExtractFailed), std::u16string::npos);
  }
}
