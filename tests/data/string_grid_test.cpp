#include "data/string_grid.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <stdexcept>

namespace {

// A 19-column grid with a caption row and three records, each cell naming
// its own column and row.
class Grid : public ::testing::Test {
protected:
  void SetUp() override {
    grid.SetDefaultRowHeight(20);
    grid.SetGridLineWidth(3);
    grid.resize(700, 300);
    for (int c = 0; c < 19; ++c)
      for (int r = 0; r < 4; ++r) grid.SetCells(c, r, std::to_string(c) + ":" + std::to_string(r));
  }
  TStringGrid grid{nullptr, 19, 4};
};

TEST_F(Grid, FixedRowAndColumnAreTheHeaders) {
  const QAbstractItemModel &m = *grid.model();
  EXPECT_EQ(m.rowCount(), 3);
  EXPECT_EQ(m.columnCount(), 18);
  EXPECT_EQ(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "1:0");
  EXPECT_EQ(m.headerData(2, Qt::Vertical, Qt::DisplayRole).toString(), "0:3");
  EXPECT_EQ(m.index(2, 17).data().toString(), "18:3");
  EXPECT_FALSE(m.flags(m.index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(Grid, DraggedColumnIsReadAtItsNewPlace) {
  grid.MoveColumn(5, 1);
  EXPECT_EQ(grid.CellsAtPosition(1, 2), "5:2");
  EXPECT_EQ(grid.CellsAtPosition(2, 2), "1:2");
  EXPECT_EQ(grid.CellsAtPosition(5, 2), "4:2");
  EXPECT_EQ(grid.CellsAtPosition(6, 2), "6:2");
  EXPECT_EQ(grid.Cells(5, 2), "5:2") << "Cells answers by the written column";
  EXPECT_EQ(grid.CellsAtPosition(0, 2), "0:2") << "the fixed column never moves";
  const std::vector<int> order = grid.ColumnOrder();
  EXPECT_EQ(order[0], 0);
  EXPECT_EQ(order[1], 5);
  grid.ResetColumnOrder();
  for (int p = 0; p < 19; ++p) EXPECT_EQ(grid.ColumnAtPosition(p), p);
  EXPECT_EQ(grid.CellsAtPosition(40, 1), "");
}

TEST_F(Grid, MouseDragOnTheFixedRowMovesTheColumn) {
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  QHeaderView *top = grid.horizontalHeader();
  const auto centre = [&](int position) {
    const int x = top->sectionViewportPosition(top->logicalIndex(position - 1)) + 5;
    return QPoint(x, top->height() / 2);
  };
  const QPoint from = centre(1), to = centre(4);
  QTest::mousePress(top->viewport(), Qt::LeftButton, Qt::NoModifier, from);
  for (int i = 1; i <= 10; ++i) QTest::mouseMove(top->viewport(), from + (to - from) * i / 10);
  QTest::mouseRelease(top->viewport(), Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_NE(grid.ColumnAtPosition(1), 1) << "column 1 left its place";
  EXPECT_EQ(grid.CellsAtPosition(1, 1), grid.Cells(grid.ColumnAtPosition(1), 1));
}

TEST_F(Grid, RowCountAndHiddenRows) {
  grid.SetRowCount(10);
  EXPECT_EQ(grid.model()->rowCount(), 9);
  EXPECT_EQ(grid.Cells(3, 2), "3:2");
  grid.SetRowCount(2);
  EXPECT_EQ(grid.model()->rowCount(), 1);
  EXPECT_EQ(grid.Cells(3, 2), "") << "rows cut off lose their cells";
  grid.SetRowCount(0);
  EXPECT_EQ(grid.RowCount(), 1) << "the fixed row stays";
  // A cell below the last row keeps its text without showing.
  grid.SetCells(4, 7, "below");
  EXPECT_EQ(grid.Cells(4, 7), "below");
  EXPECT_EQ(grid.model()->rowCount(), 0);
}

TEST_F(Grid, FailedFillStillShowsWhatItWrote) {
  EXPECT_THROW(grid.Update([](TDataTable &t) {
    t.SetCells(2, 1, "written");
    throw std::runtime_error("stop");
  }),
               std::runtime_error);
  EXPECT_EQ(grid.model()->index(0, 1).data().toString(), "written");
}

TEST_F(Grid, BadIndexIsAnErrorNotACrash) {
  EXPECT_ANY_THROW(grid.SetCells(19, 1, "x"));
  EXPECT_ANY_THROW(grid.SetCells(1, -1, "x"));
  EXPECT_EQ(grid.Cells(-1, 0), "");
  EXPECT_EQ(grid.Cells(0, 1000000), "");
}

TEST_F(Grid, SectionsAreCellPlusGridLine) {
  grid.SetColWidths(1, 52);
  grid.SetColWidths(0, 37);
  EXPECT_EQ(grid.horizontalHeader()->sectionSize(0), 55);
  EXPECT_EQ(grid.verticalHeader()->width(), 40);
  EXPECT_EQ(grid.verticalHeader()->defaultSectionSize(), 23);
  EXPECT_EQ(grid.ColWidths(7), grid.DefaultColWidth());
}

}  // namespace
