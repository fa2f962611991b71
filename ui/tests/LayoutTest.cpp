#include "ui/Layout.h"

#include <gtest/gtest.h>

#include <map>

#include "common/Text.h"
#include "common/tests/ErrorOf.h"

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
