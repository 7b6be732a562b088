#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// The downloaded records as the grid shows them: a flat store of text cells,
// column-major inside a row (cell (c, r) at r * ColCount + c). It is the only
// store of a decoded download or an opened file; the grid, the text file, the
// exports, the statistics and the graph all read it.
//
// RowCount is the number of rows shown. Writing a cell below the shown rows is
// allowed and keeps the text (the decoder puts the line before the end mark
// there); reading any cell that was never written gives an empty text.
//
// A cell of up to 11 characters (every date, time and temperature the
// program writes) lives in the row itself, 12 bytes a cell; a longer one goes
// to a side store. A hundred thousand records so take about twice the bytes
// of their text file, where a string per cell took five times.
class TDataTable {
public:
  explicit TDataTable(int colCount = 19, int rowCount = 0);

  int ColCount() const { return ColCount_; }
  int RowCount() const { return RowCount_; }
  // Cells of rows past the new count are dropped, as a grid drops them.
  void SetRowCount(int rows);
  // Rows held, shown or not.
  int StoredRows() const;
  // Makes room for rows 0 to rows - 1 at once, for writers that fill many.
  void StoreRows(int rows);

  // The text stays valid until the cell or the table's size changes.
  std::string_view Cells(int col, int row) const {
    if (col < 0 || col >= ColCount_ || row < 0) return {};
    const size_t at = static_cast<size_t>(row) * ColCount_ + col;
    if (at >= Store_.size()) return {};
    const TCell &cell = Store_[at];
    if (cell.Length != kLong) return std::string_view(cell.Text, cell.Length);
    return LongCell(cell);
  }
  // Grows the store as needed. Raises on a column outside the table or a
  // negative row.
  void SetCells(int col, int row, std::string_view text);

  // Empties every cell, shown or held below.
  void Clear();

private:
  static constexpr int kInline = 11;
  static constexpr std::uint8_t kLong = 0xFF;
  struct TCell {
    char Text[kInline];
    std::uint8_t Length;  // kLong: Text holds an index into Long_
  };

  void CheckIndex(int col, int row) const;
  std::string_view LongCell(const TCell &cell) const;

  int ColCount_;
  int RowCount_ = 0;
  std::vector<TCell> Store_;
  // Stable addresses, so a view of one long cell survives writes of others.
  std::deque<std::string> Long_;
};
