// TDataTables: ownership, copies, and the collection level of the notices.
#include <gtest/gtest.h>

#include "common/Errors.h"
#include "common/Text.h"
#include "datatable/NvDataTable.h"
#include "datatable/tests/Recorder.h"

namespace {

std::unique_ptr<TDataTable> MakeTable(std::u16string_view text, const TColIndexSet& set = {}) {
  auto t = std::make_unique<TDataTable>(u"k", set);
  t->Init(text);
  return t;
}

struct Collection : testing::Test {
  TDataTables c;
  Recorder r;
  void SetUp() override {
    for (int i = 0; i < 5; ++i)
      c.AddItem(MakeTable(u"#t" + IntToText(i) + u"#a,b|c"));
    r.Watch(c);
  }
};

}  // namespace

TEST_F(Collection, AddItemHandsOverOrCopies) {
  auto own = MakeTable(u"x,y", {1});
  TDataTable* raw = own.get();
  TDataTable& added = c.AddItem(std::move(own));
  EXPECT_EQ(&added, raw);
  EXPECT_EQ(added.Parent(), &c);
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmTableAdd, 1, raw, 5}}));

  r.Reset();
  TDataTable src(u"key", {1});
  src.Init(u"#name#p,q\x1Ar|s,t");
  Recorder copyNotices;
  TDataTable& copy = c.AddItem(src);
  EXPECT_NE(&copy, &src);
  EXPECT_EQ(copy.Parent(), &c);
  EXPECT_EQ(copy.Key(), u"");
  EXPECT_TRUE(copy.ConvertSet().Empty());
  EXPECT_EQ(copy.PropCount(), 10);  // the property row is not copied
  EXPECT_EQ(copy.Name(), u"");
  ASSERT_EQ(copy.ItemCount(), 2);
  EXPECT_EQ(copy.Items(0).Items(1).Text(), u"q\x1Ar");  // not converted in the copy
  EXPECT_EQ(src.Items(0).Items(1).Text(), u"q,r");
  EXPECT_TRUE(copy.DataChanged());
  // One collection notice however many rows the copy holds.
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmTableAdd, 1, &copy, 6}}));
}

TEST_F(Collection, ItemsOutOfRange) {
  EXPECT_EQ(ErrorOf([&] { c.Items(5); }), u"List index out of bounds (5)");
  EXPECT_EQ(c.Items(4).Name(), u"t4");
  EXPECT_EQ(c.IndexOf(&c.Items(3)), 3);
}

TEST_F(Collection, TableChangesReachTheCollectionWithTheirPosition) {
  TDataTable& t3 = c.Items(3);
  Recorder tr;
  tr.Watch(t3);
  t3.Items(0).Items(0).SetText(u"z");
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmCellEdit, 1, &t3, 3}}));

  r.Reset();
  t3.SetName(u"renamed");
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmPropChange, 1, &t3, 3}}));

  r.Reset();
  t3.Items(1).AddItem(1);
  t3.Items(1).Clear();
  t3.Items(1).Init(u"q", u',');
  t3.AddItem(TRow{});
  t3.Init(u"n");
  t3.SetDataChanged(true);
  t3.Clear();
  std::vector<CM> modes;
  for (const auto& n : r.collections) {
    EXPECT_EQ(n.count, 1);
    EXPECT_EQ(n.table, &t3);
    EXPECT_EQ(n.index, 3);
    modes.push_back(n.mode);
  }
  EXPECT_EQ(modes, (std::vector<CM>{CM::cmCellAdd, CM::cmRowClear, CM::cmRowInit, CM::cmRowAdd,
                                    CM::cmTableInit, CM::cmDirect, CM::cmTableClear}));
}

TEST_F(Collection, PreventEventDoesNotStopForwarding) {
  TDataTable& t = c.Items(1);
  Recorder tr;
  tr.Watch(t);
  t.SetPreventEvent(true);
  t.Items(0).Items(0).SetText(u"z");
  EXPECT_TRUE(tr.tables.empty());
  EXPECT_EQ(r.collections.size(), 1u);
}

TEST_F(Collection, BracketKeepsTheCollectionFlagUntilEndUpdate) {
  c.SetDataChanged(false);
  TDataTable& t = c.Items(0);
  Recorder tr;
  tr.Watch(t);
  c.BeginUpdate();
  t.Items(0).Items(0).SetText(u"z");
  EXPECT_EQ(tr.tables.size(), 1u);
  EXPECT_TRUE(t.DataChanged());
  EXPECT_FALSE(c.DataChanged());
  EXPECT_TRUE(r.collections.empty());
  c.EndUpdate(CM::cmSort, 1, &t, -1);
  EXPECT_TRUE(c.DataChanged());
  // A given table with index -1 gets its position looked up.
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmSort, 1, &t, 0}}));
}

TEST_F(Collection, ClearFreesEverythingOnce) {
  c.Clear();
  EXPECT_EQ(c.ItemCount(), 0);
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmTablesClear, -1, nullptr, -1}}));
  r.Reset();
  c.Clear();
  EXPECT_TRUE(r.collections.empty());
}

TEST_F(Collection, CopyFromHonoursMaxCount) {
  TDataTables target;
  Recorder tr;
  tr.Watch(target);
  target.CopyFrom(c, 2);
  EXPECT_EQ(target.ItemCount(), 2);
  EXPECT_EQ(target.Items(1).Items(0).Items(0).StoredText(), u"a");
  EXPECT_EQ(target.Items(1).Name(), u"");  // property rows are not copied
  EXPECT_EQ(tr.collections,
            (std::vector<TablesNotice>{{&target, CM::cmTablesInit, -1, nullptr, -1}}));

  for (int max : {0, -3}) {
    target.CopyFrom(c, max);
    EXPECT_EQ(target.ItemCount(), 5) << max;
  }
  target.CopyFrom(target, 0);  // from itself: nothing lost
  EXPECT_EQ(target.ItemCount(), 5);
  EXPECT_EQ(target.Items(4).Items(1).Items(0).StoredText(), u"c");
}

TEST_F(Collection, AssignCopiesTablesPropertyRowAndTag) {
  c.PropertyRow().Init(u"p1,p2", u',');
  c.SetTag(11);
  c.SetFileName(u"file.dat");
  c.SetIsEncrypt(true);
  TDataTables target;
  Recorder tr;
  tr.Watch(target);
  target.Assign(&c);
  EXPECT_EQ(target.ItemCount(), 5);
  EXPECT_EQ(target.Tag(), 11);
  EXPECT_EQ(target.PropertyRow().ItemCount(), 2);
  EXPECT_EQ(target.PropertyRow().Items(1).StoredText(), u"p2");
  EXPECT_EQ(target.FileName(), u"");
  EXPECT_FALSE(target.IsEncrypt());
  EXPECT_EQ(tr.collections,
            (std::vector<TablesNotice>{{&target, CM::cmTablesInit, -1, nullptr, -1}}));

  TDataTable table(u"", {});
  EXPECT_EQ(ErrorOf([&] { target.Assign(&table); }),
            u"Cannot assign a TDataTable to a TDataTables");
  EXPECT_EQ(ErrorOf([&] { target.Assign(nullptr); }), u"Cannot assign a nil to a TDataTables");
  EXPECT_EQ(target.ItemCount(), 5);
}

TEST_F(Collection, DataChangedFalseClearsEveryFlagBelow) {
  c.Items(2).Items(0).Items(0).SetText(u"z");
  c.Items(2).SetName(u"n");
  r.Reset();
  c.SetDataChanged(false);
  EXPECT_FALSE(c.DataChanged());
  EXPECT_FALSE(c.PropertyRow().DataChanged());
  for (int i = 0; i < c.ItemCount(); ++i) {
    const TDataTable& t = c.Items(i);
    EXPECT_FALSE(t.DataChanged());
    EXPECT_FALSE(t.PropertyRow().DataChanged());
    for (int j = 0; j < t.ItemCount(); ++j)
      EXPECT_FALSE(t.Items(j).DataChanged());
  }
  EXPECT_TRUE(r.collections.empty());

  c.SetDataChanged(true);
  EXPECT_EQ(r.collections, (std::vector<TablesNotice>{{&c, CM::cmDirect, -1, nullptr, -1}}));
}

TEST(CollectionNew, StartsEmptyAndUnchanged) {
  TDataTables c;
  EXPECT_EQ(c.ItemCount(), 0);
  EXPECT_FALSE(c.DataChanged());
  EXPECT_EQ(c.PropertyRow().ItemCount(), 10);
  // A table that is not in a collection reports position -1.
  Recorder r;
  r.Watch(c);
  TDataTable loose(u"", {});
  c.BeginUpdate();
  c.EndUpdate(CM::cmDirect, 1, &loose, -1);
  EXPECT_EQ(r.collections.at(0).index, -1);
}
