// NvDataTable: an in-memory table of text cells.
//
// A TDataTable holds data rows (TRow) of text cells (TCell) plus a property
// row for table-level values. A table loads from a one-line text form with
// Init. Every change ends in a change notice that marks the object changed,
// raises its event and goes up to the owner: cell -> row -> table ->
// collection (TDataTables). BeginUpdate/EndUpdate fold a bulk change into one
// notice.
//
// Ownership: a table owns its rows, a row its cells, a collection its tables.
// Parent and RefParent are back-references that own nothing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCell;
class TRow;
class TDataTable;
class TDataTables;

// Columns 0..103, one bit each in 13 bytes. Indexes outside that range are
// never members.
class TColIndexSet {
 public:
  static constexpr int kMaxColumn = 103;

  TColIndexSet() = default;
  TColIndexSet(std::initializer_list<int> columns);

  bool Contains(int column) const;
  void Include(int column);
  void Exclude(int column);
  bool Empty() const;
  const std::array<uint8_t, 13>& Bytes() const { return bits_; }

  friend bool operator==(const TColIndexSet&, const TColIndexSet&) = default;

 private:
  std::array<uint8_t, 13> bits_{};
};

enum class TDataTableChangeMode : uint8_t {
  cmNoTrigger = 0,
  cmLoad = 1,
  cmSort = 2,
  cmDirect = 3,
  cmPropChange = 4,
  cmCellAdd = 5,
  cmCellEdit = 6,
  cmCellDeleted = 7,
  cmCellMove = 8,
  cmRowInit = 9,
  cmRowClear = 10,
  cmRowAdd = 11,
  cmRowBatchAdd = 12,
  cmRowDeleted = 13,
  cmRowBatchDeleted = 14,
  cmRowMove = 15,
  cmTableInit = 16,
  cmTableClear = 17,
  cmTableAdd = 18,
  cmTableDeleted = 19,
  cmTableMove = 20,
  cmTablesInit = 21,
  cmTablesClear = 22,
};

enum class TSortMode : uint8_t { smText = 0, smValueInc = 1, smValueDec = 2, smCustom = 3 };

using TRowDataChangeEvent =
    std::function<void(TRow* Sender, TDataTableChangeMode ChangeMode, TCell* ACell)>;
using TDataTableDataChangeEvent =
    std::function<void(TDataTable* Sender, TDataTableChangeMode ChangeMode, TRow* ARow,
                       TCell* ACell, int Data1, int Data2)>;
using TRowIndexChangeEvent = std::function<void(void* Sender, int NewIndex)>;
using TDataTablesDataChangeEvent =
    std::function<void(TDataTables* Sender, TDataTableChangeMode ChangeMode, int TCount,
                       TDataTable* ADataTable, int Index)>;
// Declared for callers; no operation of the library raises these.
using TRowDeletingEvent =
    std::function<void(bool& IsDelete, TDataTable* Sender, TRow* ARow, int Index)>;
using TTableDeletingEvent =
    std::function<void(bool& IsDelete, TDataTables* Sender, TDataTable* ADataTable, int Index)>;

// The class library's persistent base: Assign copies another object's state
// into this one, or raises "Cannot assign a X to a Y".
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual void Assign(const TPersistent* Source);
  virtual const char16_t* ClassName() const = 0;

 protected:
  // Called by Assign on the source; the base cannot assign itself anywhere.
  virtual void AssignTo(TPersistent* Dest) const;
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

class TCell {
 public:
  explicit TCell(TRow* AOwner);
  TCell(const TCell&) = delete;
  TCell& operator=(const TCell&) = delete;

  TRow* Parent() const { return FParent; }
  int GetIndex() const;

  // Text through the conversion of its column (see TDataTable).
  std::u16string Text() const;
  void SetText(std::u16string_view s);
  // The stored text itself, in a converted column the escaped form.
  const std::u16string& StoredText() const { return FText; }

  int32_t Value() const;
  void SetValue(int32_t v);
  bool AsBool() const;
  void SetAsBool(bool b);

 private:
  friend class TRow;
  bool IsConverted() const;
  void StoreAndNotify(std::u16string s);

  TRow* FParent;
  std::u16string FText;
  // Position in the row's list. Cells enter a row only at its end and leave
  // it all together, so the position never changes; -1 until added.
  int FIndex = -1;
};

class TRow : public TPersistent {
 public:
  explicit TRow(TDataTable* AOwner = nullptr);
  ~TRow() override;
  TRow(const TRow&) = delete;
  TRow& operator=(const TRow&) = delete;
  const char16_t* ClassName() const override { return u"TRow"; }

  int GetIndex() const;
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate(TDataTableChangeMode ChangeMode, TCell* ACell);

  // Replaces all cells by the pieces of sInit between sSplitChar characters.
  void Init(std::u16string_view sInit, char16_t sSplitChar);
  void Clear();
  // Appends a cell holding the decimal text of Value.
  TCell& AddItem(int32_t Value);
  // Replaces the cells by copies of ARow's stored texts.
  void CopyFrom(const TRow& ARow);

  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TCell& Items(int Index) const;

  TDataTable* Parent() const { return FParent; }
  void SetParent(TDataTable* v) { FParent = v; }
  TDataTable* RefParent() const { return FRefParent; }
  void SetRefParent(TDataTable* v) { FRefParent = v; }
  int Id() const { return FId; }
  bool IsProp() const { return FIsProp; }
  bool IsIndex() const { return FIsIndex; }
  int Tag() const { return FTag; }
  void SetTag(int v) { FTag = v; }
  void* Data() const { return FData; }
  void SetData(void* v) { FData = v; }
  void* Data2() const { return FData2; }
  void SetData2(void* v) { FData2 = v; }
  void* Data3() const { return FData3; }
  void SetData3(void* v) { FData3 = v; }
  void* Data4() const { return FData4; }
  void SetData4(void* v) { FData4 = v; }
  const std::shared_ptr<void>& IData() const { return FIData; }
  void SetIData(std::shared_ptr<void> v) { FIData = std::move(v); }
  bool DataChanged() const { return FDataChanged; }
  void SetDataChanged(bool v) { FDataChanged = v; }

  TRowDataChangeEvent OnDataChanged;

 private:
  friend class TCell;
  friend class TDataTable;
  friend class TDataTables;
  void Changed(TDataTableChangeMode ChangeMode, TCell* ACell);
  void AppendStored(std::u16string_view text);

  TDataTable* FParent;
  TDataTable* FRefParent = nullptr;
  std::vector<std::unique_ptr<TCell>> FItems;
  int FId = -1;
  int FTag = 0;
  bool FIsProp = false;
  bool FIsIndex = false;
  void* FData = nullptr;
  void* FData2 = nullptr;
  void* FData3 = nullptr;
  void* FData4 = nullptr;
  std::shared_ptr<void> FIData;
  int FUpdateCount = 0;
  bool FDataChanged = false;
};

class TDataTable : public TPersistent {
 public:
  TDataTable(std::u16string_view sKey, const TColIndexSet& ConvertSet);
  ~TDataTable() override;
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;
  const char16_t* ClassName() const override { return u"TDataTable"; }

  // Clears the table and loads the text form:
  //   [#property row#]row|row|...   with cells of a row split at ","
  void Init(std::u16string_view sInit);
  void Clear();
  // Hands ARow over to the table (IsCopy false).
  TRow& AddItem(std::unique_ptr<TRow> ARow);
  // Appends a copy of ARow; ARow stays with the caller (IsCopy true).
  TRow& AddItem(const TRow& ARow);
  void CopyFrom(const TDataTable& ADataTable, bool IncludeProp, int MaxCount);
  int IndexOfId(int Id) const;
  int IndexOf(const TRow* ARow) const;

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate(TDataTableChangeMode ChangeMode, TRow* ARow, TCell* ACell, int Data1, int Data2);

  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TRow& Items(int Index) const;
  TRow& PropertyRow() const { return *FPropertyRow; }
  int PropCount() const { return FPropertyRow->ItemCount(); }

  std::u16string Name() const;
  void SetName(std::u16string_view v);
  int32_t Value() const;
  void SetValue(int32_t v);

  int RowIndex() const { return FRowIndex; }
  void SetRowIndex(int v);
  int ColIndex() const { return FColIndex; }
  void SetColIndex(int v);

  bool DataChanged() const { return FDataChanged; }
  void SetDataChanged(bool v);

  TDataTables* Parent() const { return FParent; }
  void SetParent(TDataTables* v) { FParent = v; }
  const std::u16string& FileName() const { return FFileName; }
  void SetFileName(std::u16string_view v);
  int Tag() const { return FTag; }
  void SetTag(int v) { FTag = v; }
  void* Data() const { return FData; }
  void SetData(void* v) { FData = v; }
  void* Data2() const { return FData2; }
  void SetData2(void* v) { FData2 = v; }
  void* Data3() const { return FData3; }
  void SetData3(void* v) { FData3 = v; }
  int IOMode() const { return FIOMode; }
  void SetIOMode(int v) { FIOMode = v; }
  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string_view v) { FKey = v; }
  const std::u16string& KeyCustom() const { return FKeyCustom; }
  void SetKeyCustom(std::u16string_view v) { FKeyCustom = v; }
  bool IsAddVerifyCode() const { return FIsAddVerifyCode; }
  void SetIsAddVerifyCode(bool v) { FIsAddVerifyCode = v; }
  bool PreventEvent() const { return FPreventEvent; }
  void SetPreventEvent(bool v) { FPreventEvent = v; }
  const TColIndexSet& ConvertSet() const { return FConvertSet; }
  const TColIndexSet& ReserveLFSet() const { return FReserveLFSet; }

  TDataTableDataChangeEvent OnDataChanged;
  TRowIndexChangeEvent OnRowIndexChanged;
  TRowDeletingEvent OnRowDeleting;

 private:
  friend class TRow;
  friend class TCell;
  friend class TDataTables;
  void Changed(TDataTableChangeMode ChangeMode, TRow* ARow, TCell* ACell, int Data1, int Data2);
  TRow& Append(std::unique_ptr<TRow> ARow);
  void CopyRowsFrom(const TDataTable& ADataTable, bool IncludeProp, int MaxCount);

  TDataTables* FParent = nullptr;
  void* FData = nullptr;
  void* FData2 = nullptr;
  void* FData3 = nullptr;
  std::vector<std::unique_ptr<TRow>> FItems;
  std::u16string FFileName;
  int FNextRowId = 1;
  int FTag = 0;
  std::unique_ptr<TRow> FPropertyRow;
  int FUpdateCount = 0;
  bool FDataChanged = false;
  int FRowIndex = -1;
  int FColIndex = -1;
  int FIOMode = 2;
  std::u16string FKey;
  std::u16string FKeyCustom;
  bool FIsAddVerifyCode = false;
  TColIndexSet FConvertSet;
  TColIndexSet FReserveLFSet;
  bool FPreventEvent = false;
};

class TDataTables : public TPersistent {
 public:
  TDataTables();
  ~TDataTables() override;
  TDataTables(const TDataTables&) = delete;
  TDataTables& operator=(const TDataTables&) = delete;
  const char16_t* ClassName() const override { return u"TDataTables"; }

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate(TDataTableChangeMode ChangeMode, int TCount, TDataTable* ADataTable, int TIndex);

  // Hands ADataTable over to the collection (IsCopy false).
  TDataTable& AddItem(std::unique_ptr<TDataTable> ADataTable);
  // Appends a copy of ADataTable's rows; ADataTable stays with the caller
  // (IsCopy true).
  TDataTable& AddItem(const TDataTable& ADataTable);
  void Clear();
  void CopyFrom(const TDataTables& ADataTables, int MaxCount);
  void Assign(const TPersistent* Source) override;
  int IndexOf(const TDataTable* ADataTable) const;

  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TDataTable& Items(int Index) const;
  TRow& PropertyRow() const { return *FPropertyRow; }

  bool DataChanged() const { return FDataChanged; }
  void SetDataChanged(bool v);
  const std::u16string& FileName() const { return FFileName; }
  void SetFileName(std::u16string_view v);
  bool IsEncrypt() const { return FIsEncrypt; }
  void SetIsEncrypt(bool v) { FIsEncrypt = v; }
  int Tag() const { return FTag; }
  void SetTag(int v) { FTag = v; }

  TDataTablesDataChangeEvent OnDataChanged;
  TTableDeletingEvent OnTableDeleting;

 private:
  friend class TDataTable;
  void Changed(TDataTableChangeMode ChangeMode, int TCount, TDataTable* ADataTable, int Index);
  void CopyTablesFrom(const TDataTables& ADataTables, int MaxCount);

  std::vector<std::unique_ptr<TDataTable>> FItems;
  std::u16string FFileName;
  bool FIsEncrypt = false;
  int FTag = 0;
  std::unique_ptr<TRow> FPropertyRow;
  bool FDataChanged = false;
  int FUpdateCount = 0;
};
