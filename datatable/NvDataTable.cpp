#include "datatable/NvDataTable.h"

#include <utility>

#include "common/Convert.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "datatable/Errors.h"

ListIndexError::ListIndexError(int index)
    : Error(u"List index out of bounds (" + IntToText(index) + u")") {}

namespace {

constexpr char16_t kEscapedComma = u'\x1A';
constexpr char16_t kEscapedBar = u'\x1B';

// The text up to its first NUL: nothing after a NUL is ever read.
std::u16string_view UpToNul(std::u16string_view s) {
  const size_t nul = s.find(u'\0');
  return nul == std::u16string_view::npos ? s : s.substr(0, nul);
}

// Runs body inside obj's update bracket; the bracket is closed on every path,
// and the closing notice is sent also when body fails.
template <typename Obj, typename Body, typename Close>
void InUpdate(Obj& obj, Body&& body, Close&& close) {
  obj.BeginUpdate();
  try {
    body();
  } catch (...) {
    close();
    throw;
  }
  close();
}

}  // namespace

// ---------------------------------------------------------------------------
// TColIndexSet

TColIndexSet::TColIndexSet(std::initializer_list<int> columns) {
  for (int c : columns)
    Include(c);
}

bool TColIndexSet::Contains(int column) const {
  if (column < 0 || column > kMaxColumn)
    return false;
  return (bits_[static_cast<size_t>(column / 8)] >> (column % 8)) & 1;
}

void TColIndexSet::Include(int column) {
  if (column < 0 || column > kMaxColumn)
    return;
  bits_[static_cast<size_t>(column / 8)] |= static_cast<uint8_t>(1u << (column % 8));
}

void TColIndexSet::Exclude(int column) {
  if (column < 0 || column > kMaxColumn)
    return;
  bits_[static_cast<size_t>(column / 8)] &= static_cast<uint8_t>(~(1u << (column % 8)));
}

bool TColIndexSet::Empty() const {
  for (auto b : bits_) {
    if (b != 0)
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// TPersistent

void TPersistent::Assign(const TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  Dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* Source) const {
  const std::u16string sourceName = Source != nullptr ? Source->ClassName() : u"nil";
  throw ConvertError(u"Cannot assign a " + sourceName + u" to a " + ClassName());
}

// ---------------------------------------------------------------------------
// TCell

TCell::TCell(TRow* AOwner) : FParent(AOwner) {}

int TCell::GetIndex() const {
  return FParent != nullptr ? FIndex : -1;
}

bool TCell::IsConverted() const {
  if (FParent == nullptr || FParent->FParent == nullptr)
    return false;
  const TColIndexSet& set = FParent->FParent->FConvertSet;
  if (set.Empty())
    return false;
  return set.Contains(GetIndex());
}

std::u16string TCell::Text() const {
  if (FText.empty() || !IsConverted())
    return FText;
  std::u16string out = FText;
  for (auto& c : out) {
    if (c == kEscapedComma) {
      c = u',';
    } else if (c == kEscapedBar) {
      c = u'|';
    }
  }
  return out;
}

void TCell::SetText(std::u16string_view s) {
  if (s == FText)
    return;
  if (s.empty() || !IsConverted()) {
    StoreAndNotify(std::u16string(s));
    return;
  }
  const TDataTable& table = *FParent->FParent;
  const bool keepBreaks = (table.FIOMode & 1) != 0 || table.FReserveLFSet.Contains(GetIndex());
  std::u16string out(UpToNul(s));
  for (auto& c : out) {
    if (c == u',') {
      c = kEscapedComma;
    } else if (c == u'|') {
      c = kEscapedBar;
    } else if (c == u'\t' || c == u'\n' || c == u'\r') {
      if (!keepBreaks)
        c = u' ';
    } else if (c < 32) {
      c = u' ';
    }
  }
  if (out == FText)
    return;
  StoreAndNotify(std::move(out));
}

void TCell::StoreAndNotify(std::u16string s) {
  FText = std::move(s);
  if (FParent != nullptr)
    FParent->Changed(TDataTableChangeMode::cmCellEdit, this);
}

int32_t TCell::Value() const {
  return FText.empty() ? 0 : TextToInt(FText);
}

void TCell::SetValue(int32_t v) {
  std::u16string text = IntToText(v);
  if (text == FText)
    return;
  StoreAndNotify(std::move(text));
}

bool TCell::AsBool() const {
  return FText.empty() ? false : TextToBool(FText);
}

void TCell::SetAsBool(bool b) {
  std::u16string text = b ? u"-1" : u"0";
  if (text == FText)
    return;
  StoreAndNotify(std::move(text));
}

// ---------------------------------------------------------------------------
// TRow

TRow::TRow(TDataTable* AOwner) : FParent(AOwner) {}

TRow::~TRow() = default;

int TRow::GetIndex() const {
  if (FRefParent != nullptr)
    return FRefParent->IndexOf(this);
  if (FParent != nullptr)
    return FParent->IndexOf(this);
  return -1;
}

void TRow::EndUpdate(TDataTableChangeMode ChangeMode, TCell* ACell) {
  if (--FUpdateCount == 0)
    Changed(ChangeMode, ACell);
}

void TRow::Changed(TDataTableChangeMode ChangeMode, TCell* ACell) {
  if (FUpdateCount != 0)
    return;
  FDataChanged = true;
  if (OnDataChanged)
    OnDataChanged(this, ChangeMode, ACell);
  TDataTable* target = FRefParent != nullptr ? FRefParent : FParent;
  if (target != nullptr)
    target->Changed(ChangeMode, this, ACell, -1, -1);
}

void TRow::AppendStored(std::u16string_view text) {
  auto cell = std::make_unique<TCell>(this);
  cell->FText.assign(text);
  cell->FIndex = ItemCount();
  FItems.push_back(std::move(cell));
}

void TRow::Init(std::u16string_view sInit, char16_t sSplitChar) {
  InUpdate(
      *this,
      [&] {
        Clear();
        const std::u16string_view s = UpToNul(sInit);
        size_t start = 0;
        for (;;) {
          const size_t sep = s.find(sSplitChar, start);
          if (sep == std::u16string_view::npos) {
            AppendStored(s.substr(start));
            break;
          }
          AppendStored(s.substr(start, sep - start));
          start = sep + 1;
        }
      },
      [&] { EndUpdate(TDataTableChangeMode::cmRowInit, nullptr); });
}

void TRow::Clear() {
  if (FItems.empty())
    return;
  FItems.clear();
  Changed(TDataTableChangeMode::cmRowClear, nullptr);
}

TCell& TRow::AddItem(int32_t Value) {
  InUpdate(
      *this,
      [&] {
        AppendStored(u"");
        FItems.back()->SetValue(Value);
      },
      [&] { EndUpdate(TDataTableChangeMode::cmCellAdd, FItems.back().get()); });
  return *FItems.back();
}

void TRow::CopyFrom(const TRow& ARow) {
  // Taken first, so that a row copied from itself keeps its texts.
  std::vector<std::u16string> texts;
  texts.reserve(ARow.FItems.size());
  for (const auto& cell : ARow.FItems)
    texts.push_back(cell->FText);
  InUpdate(
      *this,
      [&] {
        const size_t n = texts.size();
        Init(std::u16string(n > 0 ? n - 1 : 0, u','), u',');
        for (size_t i = 0; i < n; ++i)
          FItems[i]->FText = std::move(texts[i]);
      },
      [&] { EndUpdate(TDataTableChangeMode::cmRowInit, nullptr); });
}

TCell& TRow::Items(int Index) const {
  if (Index < 0 || Index >= ItemCount())
    throw ListIndexError(Index);
  return *FItems[static_cast<size_t>(Index)];
}

// ---------------------------------------------------------------------------
// TDataTable

TDataTable::TDataTable(std::u16string_view sKey, const TColIndexSet& ConvertSet)
    : FPropertyRow(std::make_unique<TRow>(this)), FKey(sKey), FConvertSet(ConvertSet) {
  FPropertyRow->FId = 0;
  FPropertyRow->FIsProp = true;
  for (int i = 0; i < 10; ++i)
    FPropertyRow->AppendStored(u"");
}

TDataTable::~TDataTable() = default;

void TDataTable::Changed(TDataTableChangeMode ChangeMode, TRow* ARow, TCell* ACell, int Data1,
                         int Data2) {
  if (FUpdateCount != 0)
    return;
  FDataChanged = true;
  if (ARow != nullptr && ARow->FIsProp)
    ChangeMode = TDataTableChangeMode::cmPropChange;
  if (OnDataChanged && !FPreventEvent)
    OnDataChanged(this, ChangeMode, ARow, ACell, Data1, Data2);
  if (FParent != nullptr)
    FParent->Changed(ChangeMode, 1, this, -1);
}

void TDataTable::EndUpdate(TDataTableChangeMode ChangeMode, TRow* ARow, TCell* ACell, int Data1,
                           int Data2) {
  if (--FUpdateCount == 0)
    Changed(ChangeMode, ARow, ACell, Data1, Data2);
}

void TDataTable::Init(std::u16string_view sInit) {
  InUpdate(
      *this,
      [&] {
        Clear();
        const std::u16string_view s = UpToNul(sInit);
        if (s.empty()) {
          auto row = std::make_unique<TRow>(nullptr);
          row->Init(u"", u',');
          AddItem(std::move(row));
          return;
        }
        size_t p = 0;
        if (s[0] == u'#') {
          const size_t q = s.find(u'#', 1);
          if (q != std::u16string_view::npos) {
            FPropertyRow->Init(s.substr(1, q - 1), u',');
            p = q + 1;
          }
        }
        if (p >= s.size())
          return;
        const std::u16string_view data = s.substr(p);
        size_t rows = 1;
        for (char16_t c : data)
          rows += c == u'|';
        FItems.reserve(FItems.size() + rows);
        size_t start = 0;
        for (;;) {
          const size_t sep = data.find(u'|', start);
          const size_t end = sep == std::u16string_view::npos ? data.size() : sep;
          auto row = std::make_unique<TRow>(nullptr);
          row->Init(data.substr(start, end - start), u',');
          AddItem(std::move(row));
          if (sep == std::u16string_view::npos)
            break;
          start = sep + 1;
        }
      },
      [&] { EndUpdate(TDataTableChangeMode::cmTableInit, nullptr, nullptr, -1, -1); });
}

void TDataTable::Clear() {
  if (!FItems.empty()) {
    FItems.clear();
    FNextRowId = 1;
    Changed(TDataTableChangeMode::cmTableClear, nullptr, nullptr, -1, -1);
  }
  if (FRowIndex != -1) {
    FRowIndex = -1;
    if (OnRowIndexChanged)
      OnRowIndexChanged(this, -1);
  }
}

TRow& TDataTable::Append(std::unique_ptr<TRow> ARow) {
  ARow->FParent = this;
  ARow->FId = FNextRowId++;
  FItems.push_back(std::move(ARow));
  return *FItems.back();
}

TRow& TDataTable::AddItem(std::unique_ptr<TRow> ARow) {
  if (!ARow)
    throw Error(u"TDataTable.AddItem: no row given");
  TRow* added = nullptr;
  InUpdate(
      *this, [&] { added = &Append(std::move(ARow)); },
      [&] { EndUpdate(TDataTableChangeMode::cmRowAdd, added, nullptr, -1, -1); });
  return *added;
}

TRow& TDataTable::AddItem(const TRow& ARow) {
  TRow* added = nullptr;
  InUpdate(
      *this,
      [&] {
        auto row = std::make_unique<TRow>(nullptr);
        row->CopyFrom(ARow);
        added = &Append(std::move(row));
      },
      [&] {
        EndUpdate(TDataTableChangeMode::cmRowAdd, FItems.empty() ? nullptr : FItems.back().get(),
                  nullptr, -1, -1);
      });
  return *added;
}

void TDataTable::CopyRowsFrom(const TDataTable& ADataTable, bool IncludeProp, int MaxCount) {
  Clear();
  if (IncludeProp)
    FPropertyRow->CopyFrom(*ADataTable.FPropertyRow);
  const int count = ADataTable.ItemCount();
  for (int i = 0; i < count && (MaxCount <= 0 || i < MaxCount); ++i) {
    AddItem(*ADataTable.FItems[static_cast<size_t>(i)]);
  }
}

void TDataTable::CopyFrom(const TDataTable& ADataTable, bool IncludeProp, int MaxCount) {
  // A table copied from itself works from a snapshot, or Clear would empty
  // the source before a row is copied.
  std::unique_ptr<TDataTable> snapshot;
  const TDataTable* source = &ADataTable;
  if (source == this) {
    snapshot = std::make_unique<TDataTable>(u"", TColIndexSet{});
    snapshot->CopyRowsFrom(*this, true, 0);
    source = snapshot.get();
  }
  InUpdate(
      *this, [&] { CopyRowsFrom(*source, IncludeProp, MaxCount); },
      [&] { EndUpdate(TDataTableChangeMode::cmTableInit, nullptr, nullptr, -1, -1); });
}

int TDataTable::IndexOfId(int Id) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i]->FId == Id)
      return static_cast<int>(i);
  }
  return -1;
}

int TDataTable::IndexOf(const TRow* ARow) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == ARow)
      return static_cast<int>(i);
  }
  return -1;
}

TRow& TDataTable::Items(int Index) const {
  if (Index < 0 || Index >= ItemCount())
    throw ListIndexError(Index);
  return *FItems[static_cast<size_t>(Index)];
}

std::u16string TDataTable::Name() const {
  return FPropertyRow->Items(0).Text();
}
void TDataTable::SetName(std::u16string_view v) {
  FPropertyRow->Items(0).SetText(v);
}
int32_t TDataTable::Value() const {
  return FPropertyRow->Items(1).Value();
}
void TDataTable::SetValue(int32_t v) {
  FPropertyRow->Items(1).SetValue(v);
}

void TDataTable::SetRowIndex(int v) {
  if (v == FRowIndex)
    return;
  if (FRowIndex >= 0 && FRowIndex < ItemCount()) {
    FItems[static_cast<size_t>(FRowIndex)]->FIsIndex = false;
  }
  if (v >= 0 && v < ItemCount()) {
    FItems[static_cast<size_t>(v)]->FIsIndex = true;
    FRowIndex = v;
  } else {
    FRowIndex = -1;
  }
  if (OnRowIndexChanged)
    OnRowIndexChanged(this, FRowIndex);
}

void TDataTable::SetColIndex(int v) {
  FColIndex = (!FItems.empty() && v >= 0 && v < FItems[0]->ItemCount()) ? v : -1;
}

void TDataTable::SetDataChanged(bool v) {
  if (v) {
    FDataChanged = true;
    Changed(TDataTableChangeMode::cmDirect, nullptr, nullptr, -1, -1);
    return;
  }
  FDataChanged = false;
  FPropertyRow->FDataChanged = false;
  for (auto& row : FItems)
    row->FDataChanged = false;
}

void TDataTable::SetFileName(std::u16string_view v) {
  if (v != FFileName)
    FFileName = v;
}

// ---------------------------------------------------------------------------
// TDataTables

TDataTables::TDataTables() : FPropertyRow(std::make_unique<TRow>(nullptr)) {
  FPropertyRow->FId = 0;
  FPropertyRow->FIsProp = true;
  for (int i = 0; i < 10; ++i)
    FPropertyRow->AppendStored(u"");
}

TDataTables::~TDataTables() = default;

void TDataTables::Changed(TDataTableChangeMode ChangeMode, int TCount, TDataTable* ADataTable,
                          int Index) {
  if (FUpdateCount != 0)
    return;
  FDataChanged = true;
  if (!OnDataChanged)
    return;
  if (ADataTable != nullptr && Index == -1) {
    Index = ADataTable->FParent != nullptr ? ADataTable->FParent->IndexOf(ADataTable) : -1;
  }
  OnDataChanged(this, ChangeMode, TCount, ADataTable, Index);
}

void TDataTables::EndUpdate(TDataTableChangeMode ChangeMode, int TCount, TDataTable* ADataTable,
                            int TIndex) {
  if (--FUpdateCount == 0)
    Changed(ChangeMode, TCount, ADataTable, TIndex);
}

TDataTable& TDataTables::AddItem(std::unique_ptr<TDataTable> ADataTable) {
  if (!ADataTable)
    throw Error(u"TDataTables.AddItem: no table given");
  InUpdate(
      *this,
      [&] {
        ADataTable->FParent = this;
        FItems.push_back(std::move(ADataTable));
      },
      [&] {
        EndUpdate(TDataTableChangeMode::cmTableAdd, 1, FItems.back().get(), ItemCount() - 1);
      });
  return *FItems.back();
}

TDataTable& TDataTables::AddItem(const TDataTable& ADataTable) {
  InUpdate(
      *this,
      [&] {
        auto table = std::make_unique<TDataTable>(u"", TColIndexSet{});
        table->FParent = this;
        table->CopyFrom(ADataTable, false, 0);
        FItems.push_back(std::move(table));
      },
      [&] {
        EndUpdate(TDataTableChangeMode::cmTableAdd, 1,
                  FItems.empty() ? nullptr : FItems.back().get(), ItemCount() - 1);
      });
  return *FItems.back();
}

void TDataTables::Clear() {
  if (FItems.empty())
    return;
  FItems.clear();
  Changed(TDataTableChangeMode::cmTablesClear, -1, nullptr, -1);
}

void TDataTables::CopyTablesFrom(const TDataTables& ADataTables, int MaxCount) {
  Clear();
  const int count = ADataTables.ItemCount();
  for (int i = 0; i < count && (MaxCount <= 0 || i < MaxCount); ++i) {
    AddItem(*ADataTables.FItems[static_cast<size_t>(i)]);
  }
}

void TDataTables::CopyFrom(const TDataTables& ADataTables, int MaxCount) {
  std::unique_ptr<TDataTables> snapshot;
  const TDataTables* source = &ADataTables;
  if (source == this) {
    snapshot = std::make_unique<TDataTables>();
    snapshot->CopyTablesFrom(*this, 0);
    source = snapshot.get();
  }
  InUpdate(
      *this, [&] { CopyTablesFrom(*source, MaxCount); },
      [&] { EndUpdate(TDataTableChangeMode::cmTablesInit, -1, nullptr, -1); });
}

void TDataTables::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TDataTables*>(Source);
  if (source == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  InUpdate(
      *this,
      [&] {
        const int tag = source->FTag;
        CopyFrom(*source, 0);
        FPropertyRow->CopyFrom(*source->FPropertyRow);
        FTag = tag;
      },
      [&] { EndUpdate(TDataTableChangeMode::cmTablesInit, -1, nullptr, -1); });
}

int TDataTables::IndexOf(const TDataTable* ADataTable) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == ADataTable)
      return static_cast<int>(i);
  }
  return -1;
}

TDataTable& TDataTables::Items(int Index) const {
  if (Index < 0 || Index >= ItemCount())
    throw ListIndexError(Index);
  return *FItems[static_cast<size_t>(Index)];
}

void TDataTables::SetDataChanged(bool v) {
  if (v) {
    FDataChanged = true;
    Changed(TDataTableChangeMode::cmDirect, -1, nullptr, -1);
    return;
  }
  FDataChanged = false;
  FPropertyRow->FDataChanged = false;
  for (auto& table : FItems)
    table->SetDataChanged(false);
}

void TDataTables::SetFileName(std::u16string_view v) {
  if (v != FFileName)
    FFileName = v;
}
