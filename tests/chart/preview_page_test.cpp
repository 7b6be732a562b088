#include "chart/chart.h"
#include "chart/chart_preview_page.h"
#include "chart/chart_print.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>

namespace {

TEST(PaperRect, HeightOrWidthLimitedAndCentred) {
  // A wide control and an upright page: the height limits (the width,
  // 169.7, to the nearest pixel).
  EXPECT_EQ(PaperRect(QSize(400, 300), QSize(2100, 2970)), QRect(115, 30, 170, 240));
  // A tall control and a landscape page: the width limits.
  EXPECT_EQ(PaperRect(QSize(300, 400), QSize(2970, 2100)), QRect(30, 115, 240, 170));
  EXPECT_TRUE(PaperRect(QSize(0, 300), QSize(2100, 2970)).isEmpty());
}

TEST(DragPartAt, CornersBeforeEdgesBeforeInside) {
  const QRect c(100, 100, 200, 100);  // margin lines at x 99 and 300, y 99 and 200
  EXPECT_EQ(DragPartAt(c, QPoint(99, 99)), dpTopLeft);
  EXPECT_EQ(DragPartAt(c, QPoint(303, 96)), dpTopRight);
  EXPECT_EQ(DragPartAt(c, QPoint(95, 204)), dpBottomLeft);
  EXPECT_EQ(DragPartAt(c, QPoint(300, 200)), dpBottomRight);
  EXPECT_EQ(DragPartAt(c, QPoint(102, 150)), dpLeft);
  EXPECT_EQ(DragPartAt(c, QPoint(304, 150)), dpRight);
  EXPECT_EQ(DragPartAt(c, QPoint(200, 96)), dpTop);
  EXPECT_EQ(DragPartAt(c, QPoint(200, 201)), dpBottom);
  EXPECT_EQ(DragPartAt(c, QPoint(200, 150)), dpMove);
  EXPECT_EQ(DragPartAt(c, QPoint(94, 150)), dpNone);  // 5 pixels off the left line
  EXPECT_EQ(DragPartAt(c, QPoint(99, 250)), dpNone);  // on the line's extension, far below
  // A chart narrower than the reach: the nearer line wins.
  const QRect thin(100, 100, 3, 100);
  EXPECT_EQ(DragPartAt(thin, QPoint(99, 150)), dpLeft);
  EXPECT_EQ(DragPartAt(thin, QPoint(103, 150)), dpRight);
}

TEST(DragChartRect, EdgesStopAtTheOppositeEdgeAndStayWhenTakenOffThePaper) {
  const QRect paper(50, 40, 400, 300);
  const QRect c(100, 100, 200, 100);
  const QPoint press(99, 150);
  // The left edge follows the pointer...
  EXPECT_EQ(DragChartRect(dpLeft, c, c, press, QPoint(129, 170), paper), QRect(130, 100, 170, 100));
  // ...stops one pixel short of the right edge...
  const QRect far = DragChartRect(dpLeft, c, c, press, QPoint(420, 150), paper);
  EXPECT_EQ(far.left(), 299);
  EXPECT_EQ(far.width(), 1);
  // ...and stays where the last move left it when taken past the paper.
  const QRect moved(80, 100, 220, 100);
  EXPECT_EQ(DragChartRect(dpLeft, c, moved, press, QPoint(30, 150), paper), moved);
  EXPECT_EQ(DragChartRect(dpLeft, c, moved, press, QPoint(49, 150), paper).left(), 50);  // the edge itself is on it
  // The other three sides alike.
  EXPECT_EQ(DragChartRect(dpRight, c, c, QPoint(300, 150), QPoint(10, 150), paper), QRect(100, 100, 1, 100));
  EXPECT_EQ(DragChartRect(dpRight, c, c, QPoint(300, 150), QPoint(900, 150), paper), c);
  EXPECT_EQ(DragChartRect(dpTop, c, c, QPoint(200, 99), QPoint(200, 500), paper), QRect(100, 199, 200, 1));
  EXPECT_EQ(DragChartRect(dpBottom, c, c, QPoint(200, 200), QPoint(200, 900), paper), c);
  // A corner: each of its edges under both rules.
  EXPECT_EQ(DragChartRect(dpBottomRight, c, c, QPoint(300, 200), QPoint(320, 900), paper),
            QRect(QPoint(100, 100), QPoint(319, 199)));
  EXPECT_EQ(DragChartRect(dpTopLeft, c, c, QPoint(99, 99), QPoint(-50, 120), paper), QRect(100, 121, 200, 79));
  EXPECT_EQ(DragChartRect(dpNone, c, c, press, QPoint(0, 0), paper), c);
}

TEST(DragChartRect, MoveKeepsTheSizeAndHappensOnlyOnThePaper) {
  const QRect paper(50, 40, 400, 300);
  const QRect c(100, 100, 200, 100);
  const QPoint press(200, 150);
  EXPECT_EQ(DragChartRect(dpMove, c, c, press, QPoint(230, 130), paper), QRect(130, 80, 200, 100));
  // Right up against the paper's lower right corner is still on it.
  EXPECT_EQ(DragChartRect(dpMove, c, c, press, QPoint(350, 290), paper), QRect(250, 240, 200, 100));
  // Further, or far up and left: it stays where the last move put it.
  const QRect last(130, 80, 200, 100);
  EXPECT_EQ(DragChartRect(dpMove, c, last, press, QPoint(351, 150), paper), last);
  EXPECT_EQ(DragChartRect(dpMove, c, last, press, QPoint(-500, -500), paper), last);
}

// The page with a chart on it, at a size where the paper is easy to find.
struct PreviewPage : ::testing::Test {
  TChart chart;
  TChartPreviewPage page;
  int changes = 0;

  void SetUp() override {
    chart.resize(400, 250);
    chart.SetColor(QColor(0, 0, 255));
    chart.SetPrintProportional(true);
    page.resize(500, 400);
    page.SetPageSize(QSize(2970, 2100));  // landscape
    page.SetImage(&chart);
    page.OnMarginsChanged = [this](TChartPreviewPage &) { ++changes; };
  }

  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), page.mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&page, &e);
  }
  void Drag(QPoint from, QPoint to) {
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    Mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    Mouse(QEvent::MouseMove, to, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
  }
};

TEST_F(PreviewPage, ChartRectangleComesFromTheMargins) {
  TPrintMargins m;
  m.Left = 10, m.Top = 20, m.Right = 30, m.Bottom = 5;
  chart.SetPrintMargins(m);
  EXPECT_EQ(page.ChartRect(), MarginRect(page.PaperRect(), m));
  EXPECT_EQ(page.PaperRect(), PaperRect(QSize(500, 400), QSize(2970, 2100)));
}

TEST_F(PreviewPage, DraggingTheLeftLinePastTheRightEdgeStopsThere) {
  const QRect paper = page.PaperRect();
  const QRect before = page.ChartRect();
  Drag(QPoint(before.left() - 1, before.center().y()), QPoint(paper.right() - 2, before.center().y()));
  EXPECT_EQ(page.Dragging(), dpNone);
  const TPrintMargins m = chart.PrintMargins();
  EXPECT_LT(m.Left + m.Right, 100);
  EXPECT_EQ(m.Right, 15);
  EXPECT_GE(m.Left, 83);
  EXPECT_GT(page.ChartRect().width(), 0);
  EXPECT_FALSE(chart.PrintProportional());
  EXPECT_GE(changes, 1);
}

TEST_F(PreviewPage, MovingPastThePaperLeavesTheChartWhereItWas) {
  const QRect before = page.ChartRect();
  const QPoint from = before.center();
  Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
  Mouse(QEvent::MouseMove, from + QPoint(20, 10), Qt::LeftButton);
  const TPrintMargins placed = chart.PrintMargins();
  const QRect placedRect = page.ChartRect();
  EXPECT_EQ(placedRect, before.translated(20, 10));
  // Far beyond the paper, and back on it at a place the chart cannot go.
  Mouse(QEvent::MouseMove, from + QPoint(2000, 2000), Qt::LeftButton);
  Mouse(QEvent::MouseMove, from + QPoint(before.width(), 0), Qt::LeftButton);
  EXPECT_EQ(page.ChartRect(), placedRect);
  Mouse(QEvent::MouseButtonRelease, from + QPoint(before.width(), 0), Qt::NoButton);
  EXPECT_EQ(chart.PrintMargins(), placed);
  EXPECT_TRUE(page.PaperRect().contains(page.ChartRect()));
}

TEST_F(PreviewPage, PressesOffThePaperOrWithDragsNotAllowedDoNothing) {
  const TPrintMargins start = chart.PrintMargins();
  Drag(QPoint(2, 2), QPoint(200, 200));
  const QRect c = page.ChartRect();
  page.SetAllowMove(false);
  Drag(c.center(), c.center() + QPoint(30, 30));
  page.SetAllowResize(false);
  Drag(QPoint(c.left() - 1, c.center().y()), QPoint(c.left() + 40, c.center().y()));
  EXPECT_EQ(chart.PrintMargins(), start);
  EXPECT_TRUE(chart.PrintProportional());
  EXPECT_EQ(changes, 0);
}

TEST_F(PreviewPage, CursorTellsWhatAPressWouldTake) {
  const QRect c = page.ChartRect();
  Mouse(QEvent::MouseMove, QPoint(c.left() - 1, c.top() - 1), Qt::NoButton);
  EXPECT_EQ(page.cursor().shape(), Qt::SizeFDiagCursor);
  Mouse(QEvent::MouseMove, QPoint(c.right() + 1, c.top() - 1), Qt::NoButton);
  EXPECT_EQ(page.cursor().shape(), Qt::SizeBDiagCursor);
  Mouse(QEvent::MouseMove, QPoint(c.left(), c.center().y()), Qt::NoButton);
  EXPECT_EQ(page.cursor().shape(), Qt::SplitHCursor);
  Mouse(QEvent::MouseMove, QPoint(c.center().x(), c.bottom() + 1), Qt::NoButton);
  EXPECT_EQ(page.cursor().shape(), Qt::SplitVCursor);
  Mouse(QEvent::MouseMove, c.center(), Qt::NoButton);
  EXPECT_EQ(page.cursor().shape(), Qt::OpenHandCursor);
  Mouse(QEvent::MouseMove, QPoint(1, 1), Qt::NoButton);
  EXPECT_EQ(page.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PreviewPage, PaintsPaperShadowChartAndMarginLines) {
  TPrintMargins m;
  m.Left = m.Top = m.Right = m.Bottom = 20;
  chart.SetPrintMargins(m);
  const QImage img = page.Render();
  const QRect paper = page.PaperRect(), c = page.ChartRect();
  // Paper white inside its black outline, a shadow to the right and below.
  EXPECT_EQ(img.pixelColor(paper.left() + 3, paper.top() + 3), QColor(Qt::white));
  EXPECT_EQ(img.pixelColor(paper.left(), paper.center().y()), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(paper.right() + 3, paper.center().y()), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(paper.center().x(), paper.bottom() + 2), QColor(Qt::black));
  EXPECT_NE(img.pixelColor(paper.right() + 3, paper.top() + 1), QColor(Qt::black));  // shadow starts 4 down
  // The chart's blue panel fills its rectangle.
  EXPECT_EQ(img.pixelColor(c.left() + 1, c.top() + 1), QColor(0, 0, 255));
  EXPECT_EQ(img.pixelColor(c.right() - 1, c.bottom() - 1), QColor(0, 0, 255));
  // Margin lines: silver dots on white paper, just outside the chart.
  int silver = 0;
  for (int y = paper.top() + 1; y < c.top() - 1; ++y)
    if (img.pixelColor(c.left() - 1, y) == QColor(192, 192, 192)) ++silver;
  EXPECT_GT(silver, 3);
  // Hidden, the paper there is plain white.
  page.SetShowMargins(false);
  const QImage plain = page.Render();
  for (int y = paper.top() + 1; y < c.top() - 1; ++y)
    ASSERT_EQ(plain.pixelColor(c.left() - 1, y), QColor(Qt::white)) << y;
  // Without the image, the chart rectangle is blank paper.
  page.SetShowImage(false);
  EXPECT_EQ(page.Render().pixelColor(c.center()), QColor(Qt::white));
}

TEST_F(PreviewPage, MarginLinesShowOnSilverPaperToo) {
  page.SetPaperColor(QColor(192, 192, 192));
  const QImage img = page.Render();
  const QRect paper = page.PaperRect(), c = page.ChartRect();
  int differ = 0;
  for (int y = paper.top() + 1; y < c.top() - 1; ++y)
    if (img.pixelColor(c.left() - 1, y) != QColor(192, 192, 192)) ++differ;
  EXPECT_GT(differ, 3);
}

TEST_F(PreviewPage, MoreDetailDrawsTheChartSmallerInsideTheSameRectangle) {
  // The title's text takes fewer pixels when the chart is laid out at twice
  // its size in the same rectangle.
  chart.Title().SetText({"TEMPERATURA VERSUS TIEMPO"});
  chart.Title().SetFont(QFont("Arial", 14, QFont::Bold));
  chart.Title().SetFontColor(QColor(255, 255, 0));
  auto yellow = [&] {
    const QImage img = page.Render();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (img.pixelColor(x, y) == QColor(255, 255, 0)) ++n;
    return n;
  };
  const int normal = yellow();
  chart.SetPrintResolution(-100);
  page.Invalidate();
  const int more = yellow();
  EXPECT_GT(normal, 0);
  EXPECT_LT(more, normal * 2 / 3);
}

}  // namespace
