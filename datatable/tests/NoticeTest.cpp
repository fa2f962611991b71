// Change notices of rows and tables, update brackets, PreventEvent,
// RefParent, the current row and column, and copying.
#include <gtest/gtest.h>

#include "common/Errors.h"
#include "datatable/NvDataTable.h"
#include "datatable/tests/Recorder.h"

namespace {

struct Fixture : testing::Test {
  TDataTable t{u"", {1}};
  Recorder r;
  void SetUp() override {
    t.Init(u"a,b|c,d|e,f");
    r.Watch(t);
    for (int i = 0; i < t.ItemCount(); ++i)
      r.Watch(t.Items(i));
  }
  TRow& row(int i) { return t.Items(i); }
};

using RowNotices = Fixture;
using TableNotices = Fixture;
using Brackets = Fixture;
using CurrentRow = Fixture;
using Copying = Fixture;

}  // namespace

TEST_F(RowNotices, CellEditAddClearInitAndCopy) {
  TCell& cell = row(1).Items(0);
  cell.SetText(u"z");
  EXPECT_EQ(r.rows, (std::vector<RowNotice>{{&row(1), CM::cmCellEdit, &cell}}));
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmCellEdit, &row(1), &cell, -1, -1}}));

  r.Reset();
  TCell& added = row(1).AddItem(42);
  EXPECT_EQ(added.StoredText(), u"42");
  EXPECT_EQ(added.GetIndex(), 2);
  EXPECT_EQ(r.rows, (std::vector<RowNotice>{{&row(1), CM::cmCellAdd, &added}}));
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmCellAdd, &row(1), &added, -1, -1}}));

  r.Reset();
  row(1).Clear();
  EXPECT_EQ(row(1).ItemCount(), 0);
  EXPECT_EQ(r.rows, (std::vector<RowNotice>{{&row(1), CM::cmRowClear, nullptr}}));
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmRowClear, &row(1), nullptr, -1, -1}}));

  r.Reset();
  row(1).Clear();  // no cells: nothing
  EXPECT_TRUE(r.rows.empty());
  EXPECT_TRUE(r.tables.empty());

  row(1).Init(u"p;q", u';');
  EXPECT_EQ(r.rows, (std::vector<RowNotice>{{&row(1), CM::cmRowInit, nullptr}}));
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmRowInit, &row(1), nullptr, -1, -1}}));

  r.Reset();
  row(2).CopyFrom(row(1));
  EXPECT_EQ(row(2).Items(1).StoredText(), u"q");
  EXPECT_EQ(r.rows, (std::vector<RowNotice>{{&row(2), CM::cmRowInit, nullptr}}));
  EXPECT_EQ(r.tables.size(), 1u);
}

TEST_F(RowNotices, CopyFromCopiesStoredTextsOnly) {
  TRow src;
  src.Init(u"x" + std::u16string(1, u'\x1A') + u"y,2", u',');
  src.SetTag(7);
  row(0).SetTag(1);
  row(0).CopyFrom(src);
  EXPECT_EQ(row(0).Items(0).StoredText(), u"x\x1Ay");
  EXPECT_EQ(row(0).Items(0).Text(), u"x\x1Ay");  // column 0 is not converted
  EXPECT_EQ(row(0).Tag(), 1);
  EXPECT_EQ(row(0).Id(), 1);

  TRow empty;
  row(0).CopyFrom(empty);
  EXPECT_EQ(row(0).ItemCount(), 1);  // one empty cell
  EXPECT_EQ(row(0).Items(0).StoredText(), u"");

  // A row copied from itself keeps its cells.
  row(1).CopyFrom(row(1));
  EXPECT_EQ(row(1).ItemCount(), 2);
  EXPECT_EQ(row(1).Items(1).StoredText(), u"d");
}

TEST_F(TableNotices, PropertyRowChangesReachTheTableAsPropChange) {
  Recorder pr;
  pr.Watch(t.PropertyRow());
  t.SetName(u"n");
  TCell& cell = t.PropertyRow().Items(0);
  EXPECT_EQ(pr.rows, (std::vector<RowNotice>{{&t.PropertyRow(), CM::cmCellEdit, &cell}}));
  EXPECT_EQ(r.tables,
            (std::vector<TableNotice>{{&t, CM::cmPropChange, &t.PropertyRow(), &cell, -1, -1}}));
  r.Reset();
  t.SetValue(9);
  EXPECT_EQ(r.tables.at(0).mode, CM::cmPropChange);
  EXPECT_EQ(t.Value(), 9);
}

TEST_F(TableNotices, AddItemWithAndWithoutCopy) {
  TRow src;
  src.Init(u"1,2", u',');
  TRow& copy = t.AddItem(src);
  EXPECT_NE(&copy, &src);
  EXPECT_EQ(copy.Id(), 4);
  EXPECT_EQ(copy.Parent(), &t);
  EXPECT_TRUE(copy.DataChanged());
  EXPECT_EQ(src.Parent(), nullptr);
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmRowAdd, &copy, nullptr, -1, -1}}));

  r.Reset();
  auto own = std::make_unique<TRow>(nullptr);
  TRow* raw = own.get();
  TRow& added = t.AddItem(std::move(own));
  EXPECT_EQ(&added, raw);
  EXPECT_EQ(added.Id(), 5);
  EXPECT_EQ(added.GetIndex(), 4);
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmRowAdd, raw, nullptr, -1, -1}}));
  EXPECT_TRUE(r.rows.empty());
}

TEST_F(TableNotices, ClearAndDataChanged) {
  t.SetRowIndex(2);
  r.Reset();
  t.Clear();
  EXPECT_EQ(t.ItemCount(), 0);
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmTableClear, nullptr, nullptr, -1, -1}}));
  EXPECT_EQ(r.rowIndexes, std::vector<int>{-1});  // after the clear notice
  EXPECT_EQ(t.RowIndex(), -1);

  // Clearing an empty table sends nothing and leaves the flag alone.
  t.SetDataChanged(false);
  r.Reset();
  t.Clear();
  EXPECT_TRUE(r.tables.empty());
  EXPECT_FALSE(t.DataChanged());

  t.SetDataChanged(true);
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmDirect, nullptr, nullptr, -1, -1}}));

  // New rows after a clear are numbered from 1 again.
  t.Init(u"x");
  EXPECT_EQ(t.Items(0).Id(), 1);
}

TEST_F(TableNotices, DataChangedFalseClearsTheWholeTable) {
  row(0).Items(0).SetText(u"q");
  t.SetName(u"n");
  ASSERT_TRUE(t.DataChanged());
  ASSERT_TRUE(row(0).DataChanged());
  ASSERT_TRUE(t.PropertyRow().DataChanged());
  r.Reset();
  t.SetDataChanged(false);
  EXPECT_FALSE(t.DataChanged());
  EXPECT_FALSE(t.PropertyRow().DataChanged());
  for (int i = 0; i < t.ItemCount(); ++i)
    EXPECT_FALSE(row(i).DataChanged());
  EXPECT_TRUE(r.tables.empty());
}

TEST_F(TableNotices, PreventEventSilencesOnlyTheTablesOwnEvent) {
  t.SetDataChanged(false);
  t.SetPreventEvent(true);
  row(0).Items(0).SetText(u"q");
  EXPECT_TRUE(r.tables.empty());
  EXPECT_EQ(r.rows.size(), 1u);  // the row's own event still fires
  EXPECT_TRUE(t.DataChanged());
}

TEST_F(TableNotices, RefParentTakesThePlaceOfTheOwner) {
  TDataTable other(u"", {});
  Recorder o;
  o.Watch(other);
  row(1).SetRefParent(&other);
  row(1).Items(0).SetText(u"via ref");
  EXPECT_TRUE(r.tables.empty());
  ASSERT_EQ(o.tables.size(), 1u);
  EXPECT_EQ(o.tables[0].row, &row(1));
  EXPECT_EQ(row(1).GetIndex(), -1);  // not in the other table's list
  // Conversion still follows the owner.
  row(1).Items(1).SetText(u"a,b");
  EXPECT_EQ(row(1).Items(1).StoredText(),
            u"a\x1A"
            u"b");
}

TEST_F(Brackets, TableBracketFoldsNoticesButRowEventsStillFire) {
  t.BeginUpdate();
  row(0).Items(0).SetText(u"1");
  row(1).Items(0).SetText(u"2");
  EXPECT_EQ(r.rows.size(), 2u);
  EXPECT_TRUE(r.tables.empty());
  t.BeginUpdate();
  t.EndUpdate(CM::cmLoad, nullptr, nullptr, 5, 6);  // inner: nothing
  EXPECT_TRUE(r.tables.empty());
  t.EndUpdate(CM::cmSort, &row(0), nullptr, 7, 8);
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmSort, &row(0), nullptr, 7, 8}}));
}

TEST_F(Brackets, RowBracketSendsOneNoticeWithItsArguments) {
  TRow& x = row(2);
  x.BeginUpdate();
  x.Items(0).SetText(u"1");
  x.AddItem(3);
  x.Clear();
  EXPECT_TRUE(r.rows.empty());
  EXPECT_TRUE(r.tables.empty());
  x.EndUpdate(CM::cmCellMove, nullptr);
  EXPECT_EQ(r.rows, (std::vector<RowNotice>{{&x, CM::cmCellMove, nullptr}}));
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmCellMove, &x, nullptr, -1, -1}}));
}

TEST_F(Brackets, UnbalancedEndUpdateSilencesTheObject) {
  TRow& x = row(0);
  x.EndUpdate(CM::cmDirect, nullptr);  // counter now -1
  x.Items(0).SetText(u"lost");
  EXPECT_TRUE(r.rows.empty());
  x.BeginUpdate();  // back to 0, no notice
  x.Items(0).SetText(u"heard");
  EXPECT_EQ(r.rows.size(), 1u);
}

TEST_F(Brackets, AFailingHandlerStillClosesTheBracket) {
  int calls = 0;
  t.OnDataChanged = [&](TDataTable*, CM mode, TRow*, TCell*, int, int) {
    ++calls;
    if (mode == CM::cmTableInit && calls == 1)
      throw Error(u"handler failed");
  };
  EXPECT_THROW(t.Init(u"x|y"), Error);
  EXPECT_EQ(t.ItemCount(), 2);
  row(0).Items(0).SetText(u"after");  // counter restored: heard again
  EXPECT_EQ(calls, 2);
}

TEST_F(CurrentRow, RowIndexMarksAndEvents) {
  t.SetRowIndex(1);
  EXPECT_TRUE(row(1).IsIndex());
  EXPECT_EQ(r.rowIndexes, std::vector<int>{1});
  t.SetRowIndex(1);  // unchanged: no event
  EXPECT_EQ(r.rowIndexes.size(), 1u);
  t.SetRowIndex(2);
  EXPECT_FALSE(row(1).IsIndex());
  EXPECT_TRUE(row(2).IsIndex());
  t.SetRowIndex(7);  // past the end
  EXPECT_EQ(t.RowIndex(), -1);
  EXPECT_FALSE(row(2).IsIndex());
  EXPECT_EQ(r.rowIndexes, (std::vector<int>{1, 2, -1}));
  t.SetRowIndex(9);  // still past the end while -1: raised again with -1
  EXPECT_EQ(r.rowIndexes, (std::vector<int>{1, 2, -1, -1}));
  EXPECT_TRUE(r.tables.empty());  // not change notices

  t.BeginUpdate();  // raised also inside a bracket
  t.SetRowIndex(0);
  t.EndUpdate(CM::cmNoTrigger, nullptr, nullptr, -1, -1);
  EXPECT_EQ(r.rowIndexes.back(), 0);
}

TEST_F(CurrentRow, ColIndexFollowsTheFirstRow) {
  t.SetColIndex(1);
  EXPECT_EQ(t.ColIndex(), 1);
  t.SetColIndex(2);
  EXPECT_EQ(t.ColIndex(), -1);
  t.SetColIndex(-5);
  EXPECT_EQ(t.ColIndex(), -1);
  TDataTable empty(u"", {});
  empty.SetColIndex(0);
  EXPECT_EQ(empty.ColIndex(), -1);
}

TEST_F(Copying, TableCopyFromWithPropertyRowAndMaxCount) {
  TDataTable src(u"other", {});
  src.Init(u"#P,7#r1|r2|r3");
  t.SetName(u"mine");
  r.Reset();
  t.CopyFrom(src, false, 2);
  EXPECT_EQ(t.ItemCount(), 2);
  EXPECT_EQ(t.Items(1).Items(0).StoredText(), u"r2");
  EXPECT_EQ(t.Items(1).Id(), 2);
  EXPECT_EQ(t.Name(), u"mine");
  EXPECT_EQ(t.Key(), u"");
  EXPECT_EQ(r.tables, (std::vector<TableNotice>{{&t, CM::cmTableInit, nullptr, nullptr, -1, -1}}));

  t.CopyFrom(src, true, 0);
  EXPECT_EQ(t.ItemCount(), 3);
  EXPECT_EQ(t.Name(), u"P");
  EXPECT_EQ(t.Value(), 7);
  EXPECT_EQ(src.ItemCount(), 3);

  t.CopyFrom(t, true, -1);  // from itself: nothing lost
  EXPECT_EQ(t.ItemCount(), 3);
  EXPECT_EQ(t.Items(2).Items(0).StoredText(), u"r3");
  EXPECT_EQ(t.Name(), u"P");
}

TEST_F(Copying, RowsAndTablesCannotBeAssigned) {
  TRow other;
  EXPECT_EQ(ErrorOf([&] { row(0).Assign(&other); }), u"Cannot assign a TRow to a TRow");
  EXPECT_EQ(ErrorOf([&] { t.Assign(nullptr); }), u"Cannot assign a nil to a TDataTable");
  EXPECT_THROW(t.Assign(&row(0)), ConvertError);
}
