#include "chart/chart.h"
#include "chart/chart_print.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <QPrinter>

namespace {

// A4 at 300 dpi in device pixels.
const QSize kLandscape(3508, 2480);
const QSize kPortrait(2480, 3508);

// The printed rectangle's shape in inches, width over height, relative to
// `aspect`: 1 is the same shape. Whole-percent margins cost a few percent.
double PrintedShape(QSize page, const TPrintMargins &m, double dpiX, double dpiY, double aspect) {
  const QRect r = MarginRect(QRect(QPoint(0, 0), page), m);
  return (r.width() / dpiX) / (r.height() / dpiY) / aspect;
}
constexpr double kShapeTolerance = 0.05;

TEST(ProportionalMargins, WideChartKeepsItsShapeOnBothOrientations) {
  const QSize chart(714, 441);  // the graph window's chart
  for (QSize page : {kLandscape, kPortrait}) {
    const TPrintMargins m = ProportionalMargins(chart, page, 300, 300);
    EXPECT_EQ(m.Left, 15);
    EXPECT_EQ(m.Right, 15);
    EXPECT_EQ(m.Top, m.Bottom);
    EXPECT_NEAR(PrintedShape(page, m, 300, 300, 714.0 / 441.0), 1.0, kShapeTolerance) << page.width();
  }
  // Landscape leaves less paper above and below than portrait does.
  EXPECT_LT(ProportionalMargins(chart, kLandscape, 300, 300).Top, ProportionalMargins(chart, kPortrait, 300, 300).Top);
  EXPECT_EQ(ProportionalMargins(chart, kPortrait, 300, 300).Top, 35);
  EXPECT_EQ(ProportionalMargins(chart, kLandscape, 300, 300).Top, 19);
}

TEST(ProportionalMargins, TallChartKeepsItsShapeOnBothOrientations) {
  const QSize chart(300, 600);
  for (QSize page : {kLandscape, kPortrait}) {
    const TPrintMargins m = ProportionalMargins(chart, page, 300, 300);
    EXPECT_EQ(m.Top, 15);
    EXPECT_EQ(m.Bottom, 15);
    EXPECT_EQ(m.Left, m.Right);
    EXPECT_GT(m.Left, 15);
    EXPECT_NEAR(PrintedShape(page, m, 300, 300, 0.5), 1.0, kShapeTolerance) << page.width();
  }
  // A square chart is treated as tall: top and bottom keep 15.
  const TPrintMargins sq = ProportionalMargins(QSize(400, 400), kLandscape, 300, 300);
  EXPECT_EQ(sq.Top, 15);
  EXPECT_NEAR(PrintedShape(kLandscape, sq, 300, 300, 1.0), 1.0, kShapeTolerance);
}

TEST(ProportionalMargins, OblongPrinterPixelsStillGiveTheScreenShape) {
  // 600 x 1200 dpi: twice as many device pixels down as across per inch.
  const QSize page(4960, 14032);  // A4 portrait at 600 x 1200
  const QSize chart(714, 441);
  const TPrintMargins m = ProportionalMargins(chart, page, 600, 1200);
  EXPECT_NEAR(PrintedShape(page, m, 600, 1200, 714.0 / 441.0), 1.0, kShapeTolerance);
}

TEST(ProportionalMargins, ChartThatWouldRunOffThePageIsFittedByItsOtherSide) {
  // Nearly square but wide, on a very wide page: 70 % of the width would make
  // it taller than the page.
  const QSize page(4000, 1600);
  const TPrintMargins m = ProportionalMargins(QSize(500, 490), page, 300, 300);
  EXPECT_GE(m.Top, 0);
  EXPECT_GE(m.Left, 0);
  EXPECT_EQ(m.Top, 15);
  EXPECT_NEAR(PrintedShape(page, m, 300, 300, 500.0 / 490.0), 1.0, kShapeTolerance);
  const QRect r = MarginRect(QRect(QPoint(0, 0), page), m);
  EXPECT_TRUE(QRect(QPoint(0, 0), page).contains(r));
}

TEST(ProportionalMargins, NothingToMeasureKeepsTheDefaults) {
  EXPECT_EQ(ProportionalMargins(QSize(0, 0), kLandscape, 300, 300), TPrintMargins());
  EXPECT_EQ(ProportionalMargins(QSize(714, 441), QSize(), 300, 300), TPrintMargins());
  // A resolution the printer did not report counts as square pixels.
  EXPECT_EQ(ProportionalMargins(QSize(714, 441), kLandscape, 0, 0),
            ProportionalMargins(QSize(714, 441), kLandscape, 300, 300));
}

TEST(MarginRect, PercentOfEachSideRoundedToPixels) {
  TPrintMargins m;
  m.Left = 10, m.Top = 20, m.Right = 30, m.Bottom = 40;
  EXPECT_EQ(MarginRect(QRect(0, 0, 1000, 800), m), QRect(100, 160, 600, 320));
  // Offset pages (the paper on the preview) keep their offset.
  EXPECT_EQ(MarginRect(QRect(50, 20, 1000, 800), m), QRect(150, 180, 600, 320));
  // 15 % of 333 is 49.95: rounded, not cut.
  EXPECT_EQ(MarginRect(QRect(0, 0, 333, 333), TPrintMargins()).left(), 50);
  // Margins that add up to the whole page leave an empty rectangle, never a
  // negative one.
  m.Left = 60, m.Right = 60;
  EXPECT_EQ(MarginRect(QRect(0, 0, 1000, 800), m).width(), 0);
}

TEST(MarginsOf, RoundTripsAndNeverAddsUpToTheWholePaper) {
  const QRect paper(30, 40, 287, 203);
  for (int l = 0; l < 60; l += 7)
    for (int t = 0; t < 60; t += 11) {
      TPrintMargins m;
      m.Left = l, m.Top = t, m.Right = 35, m.Bottom = 20;
      const TPrintMargins back = MarginsOf(paper, MarginRect(paper, m));
      EXPECT_LE(std::abs(back.Left - l), 1);
      EXPECT_LE(std::abs(back.Top - t), 1);
    }
  // A one-pixel chart at the far right: the margins still leave it room.
  const TPrintMargins m = MarginsOf(paper, QRect(paper.right(), paper.top(), 1, 1));
  EXPECT_LT(m.Left + m.Right, 100);
  EXPECT_LT(m.Top + m.Bottom, 100);
}

TEST(ResolutionScale, MostDetailDrawsAtTwiceTheLogicalSize) {
  const QSize chart(714, 441);
  const QSize target(1428, 882);
  EXPECT_DOUBLE_EQ(ResolutionScale(chart, target, 0), 2.0);
  EXPECT_DOUBLE_EQ(ResolutionScale(chart, target, -100), 1.0);
  EXPECT_DOUBLE_EQ(ResolutionScale(chart, target, -50), 2.0 / 1.5);
  // Out-of-range values are held to the range.
  EXPECT_DOUBLE_EQ(ResolutionScale(chart, target, 40), 2.0);
  EXPECT_DOUBLE_EQ(ResolutionScale(chart, target, -400), 1.0);
  // A rectangle of another shape: the side that fits less decides.
  EXPECT_DOUBLE_EQ(ResolutionScale(chart, QSize(1428, 441), 0), 1.0);
}

TEST(ChartPrinterRect, FromTheMarginsOrProportionalForThePrinter) {
  TChart chart;
  chart.resize(714, 441);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageOrientation(QPageLayout::Landscape);
  const QSize page(printer.width(), printer.height());

  TPrintMargins m;
  m.Left = 10, m.Top = 5, m.Right = 20, m.Bottom = 25;
  chart.SetPrintProportional(false);
  chart.SetPrintMargins(m);
  const QRect r = ChartPrinterRect(chart, printer);
  EXPECT_EQ(r, MarginRect(QRect(QPoint(0, 0), page), m));
  EXPECT_EQ(chart.PrintMargins(), m);

  chart.SetPrintProportional(true);
  const QRect p = ChartPrinterRect(chart, printer);
  const TPrintMargins expected = ProportionalMargins(chart.size(), page, printer.logicalDpiX(), printer.logicalDpiY());
  EXPECT_EQ(chart.PrintMargins(), expected);
  EXPECT_EQ(p, MarginRect(QRect(QPoint(0, 0), page), expected));
}

TEST(DrawChartOnPage, FlagsTheChartAsPrintingOnlyWhileDrawing) {
  TChart chart;
  chart.resize(300, 200);
  chart.SetColor(QColor(0, 0, 255));
  QImage img(400, 300, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  DrawChartOnPage(chart, p, QRect(50, 40, 300, 200));
  p.end();
  EXPECT_FALSE(chart.Printing());
  // Drawn inside the rectangle (the blue panel), nothing outside it.
  EXPECT_EQ(img.pixelColor(60, 50), QColor(0, 0, 255));
  EXPECT_EQ(img.pixelColor(45, 50), QColor(Qt::white));
  EXPECT_EQ(img.pixelColor(355, 250), QColor(Qt::white));
  // Through a bitmap the picture lands in the same place.
  QImage bmp(400, 300, QImage::Format_RGB32);
  bmp.fill(Qt::white);
  QPainter q(&bmp);
  DrawChartOnPage(chart, q, QRect(50, 40, 300, 200), true);
  q.end();
  EXPECT_EQ(bmp.pixelColor(60, 50), QColor(0, 0, 255));
  EXPECT_EQ(bmp.pixelColor(45, 50), QColor(Qt::white));
}

}  // namespace
