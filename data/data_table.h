#pragma once

#include <string>
#include <vector>

// The downloaded records as the grid shows them: a flat store of text cells,
// column-major inside a row (cell (c, r) at r * ColCount + c). It is the only
// store of a decoded download; the grid, the text file and the graph all read
// it.
//
// RowCount is the number of rows shown. Writing a cell below the shown rows is
// allowed and keeps the text (the decoder puts the line before the end mark
// there); reading any cell that was never written gives an empty text.
class TDataTable {
public:
  explicit TDataTable(int colCount = 19, int rowCount = 0);

  int ColCount() const { return ColCount_; }
  int RowCount() const { return RowCount_; }
  // Cells of rows past the new count are dropped, as a grid drops them.
  void SetRowCount(int rows);
  // Rows held, shown or not.
  int StoredRows() const;

  const std::string &Cells(int col, int row) const;
  void SetCells(int col, int row, const std::string &text);
  // Direct access for writers that fill many cells; grows the store like
  // SetCells. Raises on a column outside the table or a negative row.
  std::string &Cell(int col, int row);

  // Empties every cell, shown or held below.
  void Clear();

private:
  void CheckIndex(int col, int row) const;

  int ColCount_;
  int RowCount_ = 0;
  std::vector<std::string> Store_;
};
