#include "data/data_table.h"

#include "runtime/exceptions.h"

#include <algorithm>
#include <cstring>

TDataTable::TDataTable(int colCount, int rowCount) : ColCount_(std::max(1, colCount)) {
  RowCount_ = std::max(0, rowCount);
  Store_.resize(static_cast<size_t>(RowCount_) * ColCount_, TCell{{}, 0});
}

void TDataTable::SetRowCount(int rows) {
  rows = std::max(0, rows);
  if (rows == RowCount_) return;
  RowCount_ = rows;
  Store_.resize(static_cast<size_t>(rows) * ColCount_, TCell{{}, 0});
}

int TDataTable::StoredRows() const { return static_cast<int>(Store_.size() / ColCount_); }

void TDataTable::StoreRows(int rows) {
  const size_t want = static_cast<size_t>(std::max(0, rows)) * ColCount_;
  if (want > Store_.size()) Store_.resize(want, TCell{{}, 0});
}

void TDataTable::CheckIndex(int col, int row) const {
  if (col < 0 || col >= ColCount_ || row < 0) throw Exception("Grid index out of range");
}

std::string_view TDataTable::LongCell(const TCell &cell) const {
  std::uint32_t index;
  std::memcpy(&index, cell.Text, sizeof index);
  return Long_[index];
}

void TDataTable::SetCells(int col, int row, std::string_view text) {
  CheckIndex(col, row);
  const size_t at = static_cast<size_t>(row) * ColCount_ + col;
  if (at >= Store_.size()) Store_.resize((static_cast<size_t>(row) + 1) * ColCount_, TCell{{}, 0});
  TCell &cell = Store_[at];
  if (text.size() <= static_cast<size_t>(kInline)) {
    // A long text this cell held before stays in the side store until the
    // next Clear: long cells are rare (only a damaged header gives them).
    if (!text.empty()) std::memcpy(cell.Text, text.data(), text.size());
    cell.Length = static_cast<std::uint8_t>(text.size());
    return;
  }
  std::uint32_t index;
  if (cell.Length == kLong) {
    std::memcpy(&index, cell.Text, sizeof index);
    Long_[index].assign(text.data(), text.size());
  } else {
    index = static_cast<std::uint32_t>(Long_.size());
    Long_.emplace_back(text);
    std::memcpy(cell.Text, &index, sizeof index);
    cell.Length = kLong;
  }
}

void TDataTable::Clear() {
  for (TCell &cell : Store_) cell.Length = 0;
  Long_.clear();
}
