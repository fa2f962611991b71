// Recording handlers for the three levels of change notices.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/tests/ErrorOf.h"
#include "datatable/NvDataTable.h"

using CM = TDataTableChangeMode;

struct RowNotice {
  TRow* sender;
  CM mode;
  TCell* cell;
  bool operator==(const RowNotice&) const = default;
};

struct TableNotice {
  TDataTable* sender;
  CM mode;
  TRow* row;
  TCell* cell;
  int data1;
  int data2;
  bool operator==(const TableNotice&) const = default;
};

struct TablesNotice {
  TDataTables* sender;
  CM mode;
  int count;
  TDataTable* table;
  int index;
  bool operator==(const TablesNotice&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, CM m) {
  return os << "cm" << static_cast<int>(m);
}
inline std::ostream& operator<<(std::ostream& os, const RowNotice& n) {
  return os << "{row " << n.sender << ", " << n.mode << ", cell " << n.cell << "}";
}
inline std::ostream& operator<<(std::ostream& os, const TableNotice& n) {
  return os << "{table " << n.sender << ", " << n.mode << ", row " << n.row << ", cell " << n.cell
            << ", " << n.data1 << ", " << n.data2 << "}";
}
inline std::ostream& operator<<(std::ostream& os, const TablesNotice& n) {
  return os << "{tables " << n.sender << ", " << n.mode << ", " << n.count << ", table " << n.table
            << ", " << n.index << "}";
}

struct Recorder {
  std::vector<RowNotice> rows;
  std::vector<TableNotice> tables;
  std::vector<TablesNotice> collections;
  std::vector<int> rowIndexes;

  void Watch(TRow& row) {
    row.OnDataChanged = [this](TRow* s, CM m, TCell* c) { rows.push_back({s, m, c}); };
  }
  void Watch(TDataTable& table) {
    table.OnDataChanged = [this](TDataTable* s, CM m, TRow* r, TCell* c, int d1, int d2) {
      tables.push_back({s, m, r, c, d1, d2});
    };
    table.OnRowIndexChanged = [this](void*, int i) { rowIndexes.push_back(i); };
  }
  void Watch(TDataTables& tables_) {
    tables_.OnDataChanged = [this](TDataTables* s, CM m, int n, TDataTable* t, int i) {
      collections.push_back({s, m, n, t, i});
    };
  }
  void Reset() {
    rows.clear();
    tables.clear();
    collections.clear();
    rowIndexes.clear();
  }
};
