#pragma once

#include "data/data_table.h"

#include <QColor>
#include <QTableView>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStringGridModel;

// A grid of text cells with one fixed row (column captions) and one fixed
// column (row captions), built to stay quick with a hundred thousand rows: the
// cells live in one flat TDataTable and the view asks only for what it paints.
//
// Column and row numbers are those of the whole grid, fixed ones included:
// Cells(0, r) is the fixed column, Cells(c, 0) the fixed row. The user may
// drag an ordinary column to another place; Cells() keeps answering by the
// column the cell was written to, CellsAtPosition() by the place the column
// is now shown at.
class TStringGrid : public QTableView {
public:
  explicit TStringGrid(QWidget *parent = nullptr, int colCount = 5, int rowCount = 5);
  ~TStringGrid() override;

  int ColCount() const { return Table_.ColCount(); }
  void SetColCount(int cols);
  int RowCount() const { return Table_.RowCount(); }
  void SetRowCount(int rows);  // at least 1: the fixed row stays

  std::string_view Cells(int col, int row) const { return Table_.Cells(col, row); }
  void SetCells(int col, int row, std::string_view text);

  // The column shown at `position` (0 is always the fixed column).
  int ColumnAtPosition(int position) const;
  std::string_view CellsAtPosition(int position, int row) const;
  // ColumnAtPosition for every position, as the text file wants it.
  std::vector<int> ColumnOrder() const;
  // What a drag of the column at `fromPosition` to `toPosition` does.
  void MoveColumn(int fromPosition, int toPosition);
  // Every column back at its own place.
  void ResetColumnOrder();
  // The columns shown as `columnAtPosition` says (as ColumnOrder gives it);
  // one that names a column twice or leaves one out changes nothing.
  void SetColumnOrder(const std::vector<int> &columnAtPosition);

  int ColWidths(int col) const;
  void SetColWidths(int col, int width);
  int DefaultColWidth() const { return DefaultColWidth_; }
  void SetDefaultColWidth(int width);
  int DefaultRowHeight() const { return DefaultRowHeight_; }
  void SetDefaultRowHeight(int height);
  int GridLineWidth() const { return GridLineWidth_; }
  void SetGridLineWidth(int width);

  QColor Color() const { return Color_; }  // ordinary cells
  void SetColor(const QColor &c);
  QColor FixedColor() const { return FixedColor_; }
  void SetFixedColor(const QColor &c);
  QColor FontColor() const { return FontColor_; }
  void SetFontColor(const QColor &c);

  // The whole store, for readers that want it in one piece.
  const TDataTable &Table() const { return Table_; }
  // Lets `fill` write many cells at once; the view hears of it once, when
  // `fill` returns or throws (what it wrote before a failure is shown). The
  // row count must be set beforehand with SetRowCount.
  void Update(const std::function<void(TDataTable &)> &fill);
  // Empties every cell, fixed ones included.
  void Clear();
  // Shows `table` instead of what the grid held, rows and all; the old cells
  // are let go.
  void SetTable(TDataTable &&table);

  QColor LineColor() const { return QColor(192, 192, 192); }
  QColor FixedLineColor() const { return QColor(0, 0, 0); }

private:
  void ApplySizes();
  void ApplyColor();
  void CellsChanged();
  bool eventFilter(QObject *watched, QEvent *event) override;

  TDataTable Table_;
  std::unique_ptr<TStringGridModel> Model_;
  std::vector<int> ColWidths_;
  int DefaultColWidth_ = 64;
  int DefaultRowHeight_ = 24;
  int GridLineWidth_ = 1;
  QColor Color_{255, 255, 255};
  QColor FixedColor_{212, 208, 200};
  QColor FontColor_{0, 0, 0};
};
