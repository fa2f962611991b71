#include "ui/Layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/ControlIds.h"
#include "app/WizardRules.h"
#include "common/Text.h"
#include "common/tests/ErrorOf.h"
#include "common/tests/TestData.h"

namespace {

std::map<std::string, TLayoutItem> Load(const std::string& name) {
  std::ifstream in(TestDataDir() + "/resources/layouts/" + name, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::map<std::string, TLayoutItem> byName;
  for (auto& item : ParseLayout(text))
    byName[item.name] = item;
  return byName;
}

}  // namespace

TEST(Layout, TheWizardForm) {
  const auto f = Load("TFORM1.layout");
  ASSERT_EQ(f.size(), 36u);  // the form and its 35 controls
  EXPECT_EQ(f.at("Form1").kind, "form");
  EXPECT_EQ(f.at("Form1").font.name, u"Tahoma");
  EXPECT_EQ(f.at("Form1").font.points, 8);
  EXPECT_TRUE(f.at("Form1").minimize);
  EXPECT_FALSE(f.at("Form1").client);  // 503 x 398 is the outer size
  for (const char* page : {"pnlStep1", "pnlStep2", "pnlStep3", "pnlStep4"}) {
    EXPECT_EQ(f.at(page).align, TAlign::Top) << page;
    EXPECT_EQ(f.at(page).height, 308) << page;
    EXPECT_EQ(f.at(page).hidden, std::string(page) != "pnlStep1") << page;
  }
  const auto& welcome = f.at("lblWelcome");
  EXPECT_EQ(welcome.id, idLblWelcome);
  EXPECT_EQ(welcome.left, 183);
  EXPECT_EQ(welcome.width, 305);
  EXPECT_EQ(welcome.font.pixels, 16);
  EXPECT_TRUE(welcome.font.bold);
  EXPECT_TRUE(welcome.wrap && welcome.fixed);
  EXPECT_EQ(f.at("editSetupDir").parent, "gbFolder");
  EXPECT_EQ(f.at("editSetupDir").text, u"");
  EXPECT_EQ(f.at("btnBrowse").text, u"浏览(&S)...");
  EXPECT_TRUE(f.at("chkSCOnQuick").checked);
  EXPECT_TRUE(f.at("lblFreeSize").text == u"剩余空间:" && !f.at("lblFreeSize").hidden);
  EXPECT_TRUE(f.at("ProgressBar1").hidden);
  EXPECT_EQ(f.at("btnNext").tab, 0);
  EXPECT_EQ(f.at("btnPrev").tab, 5);
  EXPECT_EQ(f.at("btnClose").tab, 6);
  EXPECT_EQ(f.at("Bevel1").left, -1);
  EXPECT_EQ(f.at("Panel3").color, 0x00F0FBFFu);
  EXPECT_EQ(f.at("Image2").align, TAlign::Right);
  // Every control has its own id.
  std::map<int, std::string> ids;
  for (const auto& [name, item] : f) {
    if (item.kind == "form")
      continue;
    EXPECT_NE(item.id, 0) << name;
    EXPECT_TRUE(ids.emplace(item.id, name).second) << name << " shares id " << item.id;
  }
}

TEST(Layout, TheConflictNotice) {
  const auto f = Load("TFRMCONFLICT.layout");
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f.at("frmConflict").text, u"温馨提示");
  EXPECT_EQ(f.at("frmConflict").font.pixels, 11);
  // Its size is the client area's; it has no minimize box.
  EXPECT_TRUE(f.at("frmConflict").client);
  EXPECT_FALSE(f.at("frmConflict").minimize);
  EXPECT_EQ(f.at("Label1").font.color, 0x00800000u);       // navy
  EXPECT_EQ(f.at("lblRegister").font.color, 0x00008000u);  // green
  EXPECT_TRUE(f.at("lblContent").wrap);
  EXPECT_FALSE(f.at("Label1").wrap);
  EXPECT_EQ(f.at("Label2").font.pixels, 14);
  EXPECT_EQ(f.at("Label2").text, u"http://" + std::u16string(kPublisherHost) + u"/index_chs.shtml");
  EXPECT_EQ(f.at("Button1").id, idButton1);
  EXPECT_EQ(f.at("Button2").tab, 1);
}

TEST(Layout, QuotesLineBreaksAndComments) {
  const auto items = ParseLayout(
      "# a comment\n\nform F text=\"say \"\"hi\"\"\"\r\n"
      "label L parent=F text=\"two\\nlines\" color=#102030 left=-4\n");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].text, u"say \"hi\"");
  EXPECT_EQ(items[1].text, u"two\nlines");
  EXPECT_EQ(items[1].color, 0x00302010u);
  EXPECT_EQ(items[1].left, -4);
}

TEST(Layout, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char16_t* error;
  } cases[] = {
      {"", u"the layout has no form"},
      {"label L", u"layout line 1: the form comes first, and only once"},
      {"form F\nwidget W parent=F", u"layout line 2: unknown kind widget"},
      {"form F\nlabel L parent=G", u"layout line 2: no control G before this one"},
      {"form F\nlabel L", u"layout line 2: a control needs a parent"},
      {"form F\nlabel L parent=F left=x", u"layout line 2: left is not a number: x"},
      {"form F\nlabel L parent=F shiny", u"layout line 2: unknown flag shiny"},
      {"form F\nlabel L parent=F size=1 colour=red", u"layout line 2: unknown key colour"},
      {"form F\nlabel L parent=F color=red", u"layout line 2: unknown colour red"},
      {"form F\nlabel L parent=F\nlabel L parent=F", u"layout line 3: the name L is given twice"},
      {"form F text=\"open", u"layout line 1: a quote is not closed"},
      {"form F\nform G", u"layout line 2: the form comes first, and only once"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { ParseLayout(c.text); }), c.error) << c.text;
  }
}

TEST(Layout, SystemColoursAreNamedNotFixed) {
  const auto wizard = Load("TFORM1.layout");
  EXPECT_EQ(wizard.at("Form1").color, kSysBtnFace);
  // The white pages and the cream bands stay as they are.
  EXPECT_EQ(wizard.at("pnlStep1").color, 0x00FFFFFFu);
  EXPECT_EQ(wizard.at("Panel4").color, 0x00F0FBFFu);
  const auto notice = Load("TFRMCONFLICT.layout");
  EXPECT_EQ(notice.at("frmConflict").color, kSysBtnFace);
  EXPECT_EQ(notice.at("frmConflict").font.color, kSysWindowText);
  uint32_t black = 1;
  ASSERT_TRUE(ParseColor("black", black));
  EXPECT_EQ(black, 0u);
}

TEST(LayoutScaling, RoundsToTheNearestPixelAndKeepsEdgesTogether) {
  EXPECT_EQ(ScaleToDpi(503, 96), 503);
  EXPECT_EQ(ScaleToDpi(503, 144), 755);  // 754.5
  EXPECT_EQ(ScaleToDpi(398, 120), 498);  // 497.5
  EXPECT_EQ(ScaleToDpi(385, 120), 481);  // 481.25
  EXPECT_EQ(ScaleToDpi(-1, 144), -2);    // -1.5, away from zero as the positive side
  EXPECT_EQ(ScaleToDpi(-1, 120), -1);
  EXPECT_EQ(ScaleToDpi(0, 144), 0);

  const auto items = ScaleLayout(
      ParseLayout("form F width=503 height=398 font=Tahoma size=8\n"
                  "button a parent=F left=253 top=323 width=77 height=22\n"
                  "button b parent=F left=330 top=323 width=77 height=22\n"
                  "label l parent=F left=183 top=20 width=305 height=53 font=Tahoma px=16\n"
                  "panel p parent=F align=top height=308\n"),
      120);
  EXPECT_EQ(items[0].width, 629);      // 628.75
  EXPECT_EQ(items[0].height, 498);     // 497.5
  EXPECT_EQ(items[0].font.points, 8);  // points grow with the DPI by themselves
  EXPECT_EQ(items[0].font.pixels, 0);
  // 253 and 330 give 316 and 413 (412.5): the first button ends where the
  // second begins, although 77 alone would give 96.
  EXPECT_EQ(items[1].left, 316);
  EXPECT_EQ(items[1].left + items[1].width, items[2].left);
  EXPECT_EQ(items[2].left, 413);
  EXPECT_EQ(items[2].width, 96);
  EXPECT_EQ(items[3].font.pixels, 20);
  EXPECT_EQ(items[3].left, 229);  // 228.75
  EXPECT_EQ(items[3].top, 25);
  EXPECT_EQ(items[3].width, 381);  // 610 - 229
  EXPECT_EQ(items[3].height, 66);  // 91.25 -> 91, 91 - 25
  EXPECT_EQ(items[4].height, 385);

  // At 96 DPI nothing changes.
  const auto same = ScaleLayout(ParseLayout("form F width=503 height=398\n"), 96);
  EXPECT_EQ(same[0].width, 503);
}
