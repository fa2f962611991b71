// The layouts of Setup.exe's two forms as the layout reader reads them.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/ControlIds.h"
#include "app/WizardRules.h"
#include "common/Text.h"
#include "common/tests/TestData.h"
#include "ui/Layout.h"

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

TEST(FormLayout, TheWizardForm) {
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

TEST(FormLayout, TheConflictNotice) {
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

TEST(FormLayout, SystemColoursAreNamedNotFixed) {
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
