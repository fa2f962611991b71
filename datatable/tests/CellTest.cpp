// Cells: text through the conversion set, integers, booleans, their errors.
#include <gtest/gtest.h>

#include "datatable/Errors.h"
#include "datatable/NvDataTable.h"
#include "datatable/tests/Recorder.h"

namespace {

const std::u16string kComma(1, u'\x1A');
const std::u16string kBar(1, u'\x1B');

}  // namespace

TEST(Cell, WorkedExample) {
  TDataTable t(u"", {1});
  t.Init(u"#Demo,3#red,10,0|green,20,-1|");
  EXPECT_EQ(t.Name(), u"Demo");
  EXPECT_EQ(t.Value(), 3);
  EXPECT_EQ(t.PropCount(), 2);
  ASSERT_EQ(t.ItemCount(), 3);
  EXPECT_EQ(t.Items(0).Id(), 1);
  EXPECT_EQ(t.Items(1).Id(), 2);
  EXPECT_EQ(t.Items(2).Id(), 3);
  EXPECT_EQ(t.Items(0).ItemCount(), 3);
  EXPECT_EQ(t.Items(2).ItemCount(), 1);
  EXPECT_EQ(t.Items(2).Items(0).Text(), u"");
  EXPECT_EQ(t.Items(0).Items(1).Value(), 10);
  EXPECT_TRUE(t.Items(1).Items(2).AsBool());
  EXPECT_FALSE(t.Items(0).Items(2).AsBool());

  t.Init(u"#Demo,3#red,x" + kComma + u"y" + kBar + u"z,0");
  EXPECT_EQ(t.Items(0).Items(1).Text(), u"x,y|z");
  EXPECT_EQ(t.Items(0).Items(1).StoredText(), u"x" + kComma + u"y" + kBar + u"z");
}

TEST(Cell, ConversionAppliesOnlyToColumnsOfTheSet) {
  TDataTable t(u"", {1});
  const std::u16string stored = u"a" + kComma + u"b" + kBar + u"c";
  t.Init(stored + u"," + stored);
  EXPECT_EQ(t.Items(0).Items(0).Text(), stored);  // column 0: not converted
  EXPECT_EQ(t.Items(0).Items(1).Text(), u"a,b|c");

  // A free row, and a free cell, convert nothing.
  TRow free;
  free.Init(u"x," + stored, u',');
  EXPECT_EQ(free.Items(1).Text(), stored);
  TCell loose(&t.Items(0));
  loose.SetText(u"p,q");
  EXPECT_EQ(loose.GetIndex(), -1);
  EXPECT_EQ(loose.StoredText(), u"p,q");
}

TEST(Cell, PropertyRowFollowsTheTableConversionSet) {
  TDataTable t(u"", {0});
  t.SetName(u"a,b");
  EXPECT_EQ(t.PropertyRow().Items(0).StoredText(), u"a" + kComma + u"b");
  EXPECT_EQ(t.Name(), u"a,b");
}

TEST(Cell, WritingAConvertedCellEscapesAndNotifiesOnce) {
  TDataTable t(u"", {1});
  t.Init(u"a,b");
  Recorder r;
  r.Watch(t.Items(0));
  r.Watch(t);
  TCell& cell = t.Items(0).Items(1);
  cell.SetText(u"a,b|c");
  EXPECT_EQ(cell.StoredText(), u"a" + kComma + u"b" + kBar + u"c");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0], (RowNotice{&t.Items(0), CM::cmCellEdit, &cell}));
  ASSERT_EQ(r.tables.size(), 1u);
  EXPECT_EQ(r.tables[0], (TableNotice{&t, CM::cmCellEdit, &t.Items(0), &cell, -1, -1}));

  r.Reset();
  cell.SetText(u"a,b|c");  // the same text again
  EXPECT_TRUE(r.rows.empty());
  EXPECT_TRUE(r.tables.empty());
}

TEST(Cell, ControlCharactersAndLineBreaksInConvertedCells) {
  TDataTable t(u"", {1});
  t.Init(u"a,b");
  TCell& cell = t.Items(0).Items(1);

  std::u16string text =
      u"1\x01"
      u"2\t3\n4\r5\x0B"
      u"6\x1A"
      u"7";
  cell.SetText(text);
  EXPECT_EQ(cell.StoredText(), u"1 2 3 4 5 6 7");  // IOMode 2 keeps no break

  for (int mode : {1, 3}) {
    t.SetIOMode(mode);
    cell.SetText(u"x");
    cell.SetText(u"l1\nl2\r\tend\x02");
    EXPECT_EQ(cell.StoredText(), u"l1\nl2\r\tend ") << "IOMode " << mode;
  }

  // Cut at the first NUL.
  t.SetIOMode(2);
  cell.SetText(std::u16string(u"ab\0cd", 5));
  EXPECT_EQ(cell.StoredText(), u"ab");

  // Unconverted cells keep every character.
  TCell& plain = t.Items(0).Items(0);
  plain.SetText(u"a\nb,c");
  EXPECT_EQ(plain.StoredText(), u"a\nb,c");
}

TEST(Cell, ARewriteEqualToTheStoredTextSendsNothing) {
  TDataTable t(u"", {1});
  t.Init(u"a,x y");
  Recorder r;
  r.Watch(t);
  t.Items(0).Items(1).SetText(u"x\ny");  // becomes "x y", already stored
  EXPECT_TRUE(r.tables.empty());
}

TEST(Cell, ValueReadsTheStoredText) {
  TDataTable t(u"", {1});
  t.Init(u"5,$1A,  -7,,abc");
  const TRow& row = t.Items(0);
  EXPECT_EQ(row.Items(0).Value(), 5);
  EXPECT_EQ(row.Items(1).Value(), 26);
  EXPECT_EQ(row.Items(2).Value(), -7);
  EXPECT_EQ(row.Items(3).Value(), 0);  // empty text reads 0
  EXPECT_EQ(ErrorOf([&] { (void)row.Items(4).Value(); }), u"'abc' is not a valid integer value");
  EXPECT_EQ(row.Items(4).StoredText(), u"abc");
}

TEST(Cell, ValueAndAsBoolWrites) {
  TDataTable t(u"", {});
  t.Init(u"");
  Recorder r;
  r.Watch(t.Items(0));
  TCell& cell = t.Items(0).Items(0);
  cell.SetValue(-12);
  EXPECT_EQ(cell.StoredText(), u"-12");
  cell.SetValue(-12);
  cell.SetAsBool(true);
  EXPECT_EQ(cell.StoredText(), u"-1");
  cell.SetAsBool(true);
  cell.SetAsBool(false);
  EXPECT_EQ(cell.StoredText(), u"0");
  EXPECT_EQ(r.rows.size(), 3u);  // the repeated writes sent nothing
}

TEST(Cell, AsBoolReadsNumbersAndWords) {
  TDataTable t(u"", {});
  t.Init(u"-1,1,TRUE,0,false,,yes");
  const TRow& row = t.Items(0);
  EXPECT_TRUE(row.Items(0).AsBool());
  EXPECT_TRUE(row.Items(1).AsBool());
  EXPECT_TRUE(row.Items(2).AsBool());
  EXPECT_FALSE(row.Items(3).AsBool());
  EXPECT_FALSE(row.Items(4).AsBool());
  EXPECT_FALSE(row.Items(5).AsBool());
  EXPECT_EQ(ErrorOf([&] { (void)row.Items(6).AsBool(); }), u"'yes' is not a valid boolean value");
}

TEST(Cell, IndexesOutOfRangeRaiseTheListError) {
  TDataTable t(u"", {});
  t.Init(u"a,b");
  EXPECT_EQ(ErrorOf([&] { t.Items(1); }), u"List index out of bounds (1)");
  EXPECT_EQ(ErrorOf([&] { t.Items(-1); }), u"List index out of bounds (-1)");
  EXPECT_EQ(ErrorOf([&] { t.Items(0).Items(2); }), u"List index out of bounds (2)");
  EXPECT_THROW(t.Items(0).Items(3), ListIndexError);

  // Name and Value need the first two property cells.
  t.Init(u"#only#x");
  EXPECT_EQ(t.Name(), u"only");
  EXPECT_EQ(ErrorOf([&] { (void)t.Value(); }), u"List index out of bounds (1)");
  EXPECT_EQ(ErrorOf([&] { t.SetValue(1); }), u"List index out of bounds (1)");
}

TEST(Cell, ColIndexSetHoldsColumnsUpTo103) {
  TColIndexSet s{0, 1, 9, 103, 104, -1};
  EXPECT_TRUE(s.Contains(0));
  EXPECT_TRUE(s.Contains(9));
  EXPECT_TRUE(s.Contains(103));
  EXPECT_FALSE(s.Contains(104));
  EXPECT_FALSE(s.Contains(-1));
  EXPECT_FALSE(s.Contains(2));
  EXPECT_EQ(s.Bytes()[0], 0x03);
  EXPECT_EQ(s.Bytes()[1], 0x02);
  EXPECT_EQ(s.Bytes()[12], 0x80);
  s.Exclude(9);
  EXPECT_FALSE(s.Contains(9));
  EXPECT_TRUE(TColIndexSet{}.Empty());
}
