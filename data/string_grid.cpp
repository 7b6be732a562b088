#include "data/string_grid.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

// The view shows the ordinary cells; the fixed row is the horizontal header
// and the fixed column the vertical one, so both stay put while the cells
// scroll, as they do on a grid with fixed cells.
class TStringGridModel : public QAbstractTableModel {
public:
  static QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  }

  explicit TStringGridModel(const TDataTable &table) : Table_(&table) {}
  void SetTable(const TDataTable &table) { Table_ = &table; }

  int rowCount(const QModelIndex &parent = {}) const override {
    return parent.isValid() ? 0 : std::max(0, Table_->RowCount() - 1);
  }
  int columnCount(const QModelIndex &parent = {}) const override {
    return parent.isValid() ? 0 : std::max(0, Table_->ColCount() - 1);
  }
  QVariant data(const QModelIndex &index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return Text(Table_->Cells(index.column() + 1, index.row() + 1));
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole) return {};
    return Text(orientation == Qt::Horizontal ? Table_->Cells(section + 1, 0) : Table_->Cells(0, section + 1));
  }
  Qt::ItemFlags flags(const QModelIndex &index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

  // The view learns of changes made behind its back.
  void AllChanged() {
    if (rowCount() > 0 && columnCount() > 0)
      emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
    if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rowCount() > 0) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
  }
  void CellChanged(int col, int row) {
    if (row == 0 && col > 0) emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
    else if (col == 0 && row > 0) emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
    else if (row > 0 && row - 1 < rowCount() && col - 1 < columnCount())
      emit dataChanged(index(row - 1, col - 1), index(row - 1, col - 1), {Qt::DisplayRole});
  }
  void BeginRows(int oldRows, int newRows) {
    if (newRows > oldRows) beginInsertRows({}, std::max(0, oldRows - 1), newRows - 2);
    else beginRemoveRows({}, std::max(0, newRows - 1), oldRows - 2);
  }
  void EndRows(int oldRows, int newRows) {
    if (newRows > oldRows) endInsertRows();
    else endRemoveRows();
  }
  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }

private:
  const TDataTable *Table_;
};

namespace {

// Text of a cell the way the grid writes it: two pixels in from the top left
// corner, clipped to the cell.
void DrawCellText(QPainter &p, const QRect &cell, const QString &text) {
  if (text.isEmpty()) return;
  p.save();
  p.setClipRect(cell);
  p.drawText(cell.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  p.restore();
}

// The cell is the section less the grid line along its right and bottom.
QRect CellOf(const QRect &section, int line) { return section.adjusted(0, 0, -line, -line); }

void DrawLines(QPainter &p, const QRect &section, int line, const QColor &color) {
  if (line <= 0) return;
  p.fillRect(QRect(section.right() - line + 1, section.top(), line, section.height()), color);
  p.fillRect(QRect(section.left(), section.bottom() - line + 1, section.width(), line), color);
}

// A fixed cell: its colour with a raised edge, then the lines.
void DrawFixedCell(QPainter &p, const QRect &section, const TStringGrid &grid, const QString &text) {
  const QRect cell = CellOf(section, grid.GridLineWidth());
  p.fillRect(cell, grid.FixedColor());
  if (cell.width() > 2 && cell.height() > 2) {
    p.setPen(Qt::white);
    p.drawLine(cell.topLeft(), cell.topRight());
    p.drawLine(cell.topLeft(), cell.bottomLeft());
    p.setPen(grid.FixedColor().darker(150));
    p.drawLine(cell.bottomLeft(), cell.bottomRight());
    p.drawLine(cell.topRight(), cell.bottomRight());
  }
  DrawLines(p, section, grid.GridLineWidth(), grid.FixedLineColor());
  p.setFont(grid.font());
  p.setPen(grid.FontColor());
  DrawCellText(p, cell, text);
}

class TGridCellDelegate : public QStyledItemDelegate {
public:
  explicit TGridCellDelegate(TStringGrid &grid) : QStyledItemDelegate(&grid), Grid_(grid) {}
  void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
    const QRect cell = CellOf(option.rect, Grid_.GridLineWidth());
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &pal = Grid_.palette();
    p->fillRect(cell, selected ? pal.color(QPalette::Highlight) : Grid_.Color());
    DrawLines(*p, option.rect, Grid_.GridLineWidth(), Grid_.LineColor());
    p->setFont(Grid_.font());
    p->setPen(selected ? pal.color(QPalette::HighlightedText) : Grid_.FontColor());
    DrawCellText(*p, cell, index.data(Qt::DisplayRole).toString());
  }

private:
  TStringGrid &Grid_;
};

class TGridHeader : public QHeaderView {
public:
  TGridHeader(Qt::Orientation o, TStringGrid &grid) : QHeaderView(o, &grid), Grid_(grid) {}

protected:
  void paintSection(QPainter *p, const QRect &rect, int logicalIndex) const override {
    if (!rect.isValid()) return;
    const QString text =
        model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
    DrawFixedCell(*p, rect, Grid_, text);
  }

private:
  TStringGrid &Grid_;
};

}  // namespace

TStringGrid::TStringGrid(QWidget *parent, int colCount, int rowCount)
    : QTableView(parent),
      Table_(std::max(1, colCount), std::max(1, rowCount)),
      Model_(std::make_unique<TStringGridModel>(Table_)) {
  ColWidths_.assign(Table_.ColCount(), -1);

  auto *top = new TGridHeader(Qt::Horizontal, *this);
  auto *left = new TGridHeader(Qt::Vertical, *this);
  setHorizontalHeader(top);
  setVerticalHeader(left);
  for (QHeaderView *h : {static_cast<QHeaderView *>(top), static_cast<QHeaderView *>(left)}) {
    h->setMinimumSectionSize(0);
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->setHighlightSections(false);
  }
  top->setSectionsMovable(true);
  top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);

  setModel(Model_.get());
  setItemDelegate(new TGridCellDelegate(*this));
  setShowGrid(false);
  setWordWrap(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setCornerButtonEnabled(false);
  // The fixed cell in the corner is painted like the other fixed cells.
  if (auto *corner = findChild<QAbstractButton *>()) corner->installEventFilter(this);
  ApplyColor();
  ApplySizes();
}

TStringGrid::~TStringGrid() {
  // The view must let go of the model before the model goes.
  setModel(nullptr);
}

bool TStringGrid::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Paint) {
    if (auto *corner = qobject_cast<QAbstractButton *>(watched)) {
      QPainter p(corner);
      DrawFixedCell(p, corner->rect(), *this, TStringGridModel::Text(Table_.Cells(0, 0)));
      return true;
    }
  }
  return QTableView::eventFilter(watched, event);
}

void TStringGrid::SetColCount(int cols) {
  cols = std::max(1, cols);
  if (cols == ColCount()) return;
  Model_->BeginReset();
  TDataTable resized(cols, RowCount());
  for (int r = 0; r < RowCount(); ++r)
    for (int c = 0; c < std::min(cols, ColCount()); ++c) resized.SetCells(c, r, Table_.Cells(c, r));
  Table_ = std::move(resized);
  ColWidths_.resize(cols, -1);
  Model_->EndReset();
  ApplySizes();
}

void TStringGrid::SetRowCount(int rows) {
  rows = std::max(1, rows);
  const int old = RowCount();
  if (rows == old) return;
  Model_->BeginRows(old, rows);
  Table_.SetRowCount(rows);
  Model_->EndRows(old, rows);
}

void TStringGrid::SetCells(int col, int row, std::string_view text) {
  Table_.SetCells(col, row, text);
  Model_->CellChanged(col, row);
  if (col == 0 && row == 0) viewport()->update();
}

int TStringGrid::ColumnAtPosition(int position) const {
  if (position <= 0 || position >= ColCount()) return position == 0 ? 0 : -1;
  return horizontalHeader()->logicalIndex(position - 1) + 1;
}

std::string_view TStringGrid::CellsAtPosition(int position, int row) const {
  return Table_.Cells(ColumnAtPosition(position), row);
}

std::vector<int> TStringGrid::ColumnOrder() const {
  std::vector<int> order(ColCount());
  for (int p = 0; p < ColCount(); ++p) order[p] = ColumnAtPosition(p);
  return order;
}

void TStringGrid::MoveColumn(int fromPosition, int toPosition) {
  if (fromPosition < 1 || toPosition < 1 || fromPosition >= ColCount() || toPosition >= ColCount()) return;
  horizontalHeader()->moveSection(fromPosition - 1, toPosition - 1);
}

void TStringGrid::ResetColumnOrder() {
  QHeaderView *h = horizontalHeader();
  for (int logical = 0; logical < h->count(); ++logical)
    if (h->visualIndex(logical) != logical) h->moveSection(h->visualIndex(logical), logical);
}

void TStringGrid::SetColumnOrder(const std::vector<int> &columnAtPosition) {
  const int n = ColCount();
  if (static_cast<int>(columnAtPosition.size()) != n || columnAtPosition[0] != 0) return;
  std::vector<bool> named(n, false);
  for (int column : columnAtPosition) {
    if (column < 0 || column >= n || named[column]) return;
    named[column] = true;
  }
  ResetColumnOrder();
  QHeaderView *h = horizontalHeader();
  for (int p = 1; p < n; ++p) {
    const int from = h->visualIndex(columnAtPosition[p] - 1);
    if (from != p - 1) h->moveSection(from, p - 1);
  }
}

int TStringGrid::ColWidths(int col) const {
  if (col < 0 || col >= ColCount()) return 0;
  return ColWidths_[col] >= 0 ? ColWidths_[col] : DefaultColWidth_;
}

void TStringGrid::SetColWidths(int col, int width) {
  if (col < 0 || col >= ColCount() || ColWidths_[col] == width) return;
  ColWidths_[col] = std::max(0, width);
  ApplySizes();
}

void TStringGrid::SetDefaultColWidth(int width) {
  if (width == DefaultColWidth_) return;
  DefaultColWidth_ = std::max(0, width);
  ApplySizes();
}

void TStringGrid::SetDefaultRowHeight(int height) {
  if (height == DefaultRowHeight_) return;
  DefaultRowHeight_ = std::max(0, height);
  ApplySizes();
}

void TStringGrid::SetGridLineWidth(int width) {
  if (width == GridLineWidth_) return;
  GridLineWidth_ = std::max(0, width);
  ApplySizes();
}

void TStringGrid::SetColor(const QColor &c) {
  if (c == Color_) return;
  Color_ = c;
  ApplyColor();
}

void TStringGrid::ApplyColor() {
  // The area past the last cell shows the cell colour too.
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Color_);
  setPalette(pal);
  viewport()->update();
}

void TStringGrid::SetFixedColor(const QColor &c) {
  if (c == FixedColor_) return;
  FixedColor_ = c;
  horizontalHeader()->viewport()->update();
  verticalHeader()->viewport()->update();
}

void TStringGrid::SetFontColor(const QColor &c) {
  if (c == FontColor_) return;
  FontColor_ = c;
  viewport()->update();
}

// Each section is its cell plus the grid line after it.
void TStringGrid::ApplySizes() {
  const int pitch = DefaultRowHeight_ + GridLineWidth_;
  QHeaderView *top = horizontalHeader();
  QHeaderView *left = verticalHeader();
  left->setDefaultSectionSize(pitch);
  left->setFixedWidth(ColWidths(0) + GridLineWidth_);
  top->setFixedHeight(pitch);
  top->setDefaultSectionSize(DefaultColWidth_ + GridLineWidth_);
  for (int c = 1; c < ColCount(); ++c) top->resizeSection(c - 1, ColWidths(c) + GridLineWidth_);
}

void TStringGrid::Update(const std::function<void(TDataTable &)> &fill) {
  // Tells the view on every way out, a throw included, so it shows what the
  // fill managed to write.
  struct Notify {
    TStringGrid &Grid;
    int Rows;
    ~Notify() {
      if (Grid.Table_.RowCount() != Rows) {
        // The fill changed the row count after all: start the view afresh.
        Grid.Model_->BeginReset();
        Grid.Model_->EndReset();
        Grid.ApplySizes();
      }
      Grid.CellsChanged();
    }
  } notify{*this, RowCount()};
  if (fill) fill(Table_);
}

void TStringGrid::SetTable(TDataTable &&table) {
  Model_->BeginReset();
  // The old store goes with the moved-from one, not kept beside the new.
  TDataTable old = std::move(Table_);
  Table_ = std::move(table);
  Table_.SetRowCount(std::max(1, Table_.RowCount()));
  ColWidths_.resize(Table_.ColCount(), -1);
  Model_->EndReset();
  ApplySizes();
  CellsChanged();
}

void TStringGrid::Clear() {
  Table_.Clear();
  CellsChanged();
}

void TStringGrid::CellsChanged() {
  Model_->AllChanged();
  viewport()->update();
  horizontalHeader()->viewport()->update();
  verticalHeader()->viewport()->update();
  if (auto *corner = findChild<QAbstractButton *>()) corner->update();
}
