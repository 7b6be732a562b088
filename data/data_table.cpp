#include "data/data_table.h"

#include "runtime/exceptions.h"

#include <algorithm>

namespace {
const std::string EmptyCell;
}

TDataTable::TDataTable(int colCount, int rowCount) : ColCount_(std::max(1, colCount)) {
  RowCount_ = std::max(0, rowCount);
  Store_.resize(static_cast<size_t>(RowCount_) * ColCount_);
}

void TDataTable::SetRowCount(int rows) {
  rows = std::max(0, rows);
  if (rows == RowCount_) return;
  RowCount_ = rows;
  Store_.resize(static_cast<size_t>(rows) * ColCount_);
}

int TDataTable::StoredRows() const { return static_cast<int>(Store_.size() / ColCount_); }

void TDataTable::CheckIndex(int col, int row) const {
  if (col < 0 || col >= ColCount_ || row < 0) throw Exception("Grid index out of range");
}

const std::string &TDataTable::Cells(int col, int row) const {
  if (col < 0 || col >= ColCount_ || row < 0) return EmptyCell;
  const size_t at = static_cast<size_t>(row) * ColCount_ + col;
  return at < Store_.size() ? Store_[at] : EmptyCell;
}

std::string &TDataTable::Cell(int col, int row) {
  CheckIndex(col, row);
  const size_t at = static_cast<size_t>(row) * ColCount_ + col;
  if (at >= Store_.size()) Store_.resize((static_cast<size_t>(row) + 1) * ColCount_);
  return Store_[at];
}

void TDataTable::SetCells(int col, int row, const std::string &text) { Cell(col, row) = text; }

void TDataTable::Clear() {
  for (std::string &cell : Store_) cell.clear();
}
