// The one-line text form read by TDataTable.Init.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "datatable/NvDataTable.h"
#include "datatable/tests/Recorder.h"

namespace {

// Rows and cells as "a,b|c" with the property row in front as "[p,q]".
std::u16string Dump(const TDataTable& t) {
  std::u16string out = u"[";
  for (int j = 0; j < t.PropCount(); ++j) {
    out += (j ? u"," : u"") + t.PropertyRow().Items(j).StoredText();
  }
  out += u"]";
  for (int i = 0; i < t.ItemCount(); ++i) {
    if (i)
      out += u"|";
    for (int j = 0; j < t.Items(i).ItemCount(); ++j) {
      out += (j ? u"," : u"") + t.Items(i).Items(j).StoredText();
    }
  }
  return out;
}

std::u16string Loaded(std::u16string_view text) {
  TDataTable t(u"", {});
  t.Init(text);
  return Dump(t);
}

const std::u16string kTenEmpty = u"[,,,,,,,,,]";

}  // namespace

TEST(TextForm, EdgeCases) {
  struct Case {
    std::u16string text;
    std::u16string dump;
    int rows;
  } cases[] = {
      {u"", kTenEmpty, 1},                // one row, one empty cell
      {u"#a,b#", u"[a,b]", 0},            // a header and no data part
      {u"#abc", kTenEmpty + u"#abc", 1},  // no second "#": no header
      {u"x|", kTenEmpty + u"x|", 2},
      {u"x,", kTenEmpty + u"x,", 1},
      {u"#a#|b", u"[a]|b", 2},
      {u"|", kTenEmpty + u"|", 2},
      {u"||a||", kTenEmpty + u"||a||", 5},
      {u"##", u"[]", 0},  // empty property text: one empty cell
      {u"##x", u"[]x", 1},
      {u"#p|q#r", u"[p|q]r", 1},  // "|" is ordinary inside the header
      {u"#a#b#c", u"[a]b#c", 1},
      {u"a#b,#c", kTenEmpty + u"a#b,#c", 1},
      {u" a , b ", kTenEmpty + u" a , b ", 1},  // no trimming
  };
  for (const auto& c : cases) {
    TDataTable t(u"", {});
    t.Init(c.text);
    EXPECT_EQ(Dump(t), c.dump) << testing::PrintToString(c.text);
    EXPECT_EQ(t.ItemCount(), c.rows) << testing::PrintToString(c.text);
  }
}

TEST(TextForm, ANulEndsTheText) {
  using namespace std::string_literals;
  EXPECT_EQ(Loaded(u"a,b\0|c,d"s), kTenEmpty + u"a,b");
  EXPECT_EQ(Loaded(u"#p#\0x"s), u"[p]");
  EXPECT_EQ(Loaded(u"#p\0#x"s), kTenEmpty + u"#p");
  EXPECT_EQ(Loaded(u"\0abc"s), kTenEmpty);  // as the empty text

  TRow row;
  row.Init(u"a;b\0;c"s, u';');
  EXPECT_EQ(row.ItemCount(), 2);
  EXPECT_EQ(row.Items(1).StoredText(), u"b");
}

TEST(TextForm, WithoutAHeaderThePropertyRowKeepsItsCells) {
  TDataTable t(u"", {});
  t.Init(u"#n,5#x");
  t.Init(u"y|z");
  EXPECT_EQ(Dump(t), u"[n,5]y|z");
  EXPECT_EQ(t.Name(), u"n");
  EXPECT_EQ(t.Value(), 5);
}

TEST(TextForm, RowsAreNumberedAfterEveryLoad) {
  TDataTable t(u"", {});
  t.Init(u"a|b");
  t.Init(u"c|d|e");
  EXPECT_EQ(t.Items(0).Id(), 1);
  EXPECT_EQ(t.Items(2).Id(), 3);
  EXPECT_EQ(t.IndexOfId(3), 2);
  EXPECT_EQ(t.IndexOfId(4), -1);
  EXPECT_EQ(t.Items(1).GetIndex(), 1);
  EXPECT_EQ(t.Items(1).Parent(), &t);
}

TEST(TextForm, ANewTableStartsEmpty) {
  TDataTable t(u"key", {1});
  EXPECT_EQ(t.ItemCount(), 0);
  EXPECT_EQ(t.PropCount(), 10);
  EXPECT_EQ(t.Name(), u"");
  EXPECT_EQ(t.Value(), 0);
  EXPECT_EQ(t.RowIndex(), -1);
  EXPECT_EQ(t.ColIndex(), -1);
  EXPECT_EQ(t.IOMode(), 2);
  EXPECT_EQ(t.Key(), u"key");
  EXPECT_EQ(t.KeyCustom(), u"");
  EXPECT_FALSE(t.DataChanged());
  EXPECT_FALSE(t.PropertyRow().DataChanged());
  EXPECT_TRUE(t.PropertyRow().IsProp());
  EXPECT_EQ(t.PropertyRow().Id(), 0);
  EXPECT_EQ(t.PropertyRow().GetIndex(), -1);
  EXPECT_TRUE(t.ConvertSet().Contains(1));
  EXPECT_TRUE(t.ReserveLFSet().Empty());

  TRow free;
  EXPECT_EQ(free.Id(), -1);
  EXPECT_EQ(free.GetIndex(), -1);
  EXPECT_EQ(free.ItemCount(), 0);
}

TEST(TextForm, LoadSendsOneNoticeAndMarksEveryRow) {
  TDataTable t(u"", {});
  Recorder r;
  r.Watch(t);
  r.Watch(t.PropertyRow());
  t.Init(u"#h#a,b|c|d");
  ASSERT_EQ(r.tables.size(), 1u);
  EXPECT_EQ(r.tables[0], (TableNotice{&t, CM::cmTableInit, nullptr, nullptr, -1, -1}));
  // The property row's own event heard its Init; the table heard nothing of it.
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0], (RowNotice{&t.PropertyRow(), CM::cmRowInit, nullptr}));
  EXPECT_TRUE(t.DataChanged());
  for (int i = 0; i < t.ItemCount(); ++i)
    EXPECT_TRUE(t.Items(i).DataChanged());

  r.Reset();
  t.Init(u"x");  // no header: the property row is not told
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(r.tables.size(), 1u);
}

TEST(TextForm, LargeTextsLoadCompletely) {
  std::u16string text;
  const int rows = 20000;
  for (int i = 0; i < rows; ++i) {
    if (i)
      text += u'|';
    text += u"dir\\sub" + IntToText(i) + u",file" + IntToText(i) + u".txt,10,20";
  }
  TDataTable t(u"", {1});
  t.Init(text);
  ASSERT_EQ(t.ItemCount(), rows);
  EXPECT_EQ(t.Items(rows - 1).Items(1).Text(), u"file" + IntToText(rows - 1) + u".txt");
  EXPECT_EQ(t.Items(rows - 1).Id(), rows);
}
