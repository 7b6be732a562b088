#include "chart/chart.h"

#include "runtime/format_settings.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPicture>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The chart as the graph window sets it up, with two series.
struct WindowChart : ::testing::Test {
  TChart chart;
  TLineSeries *a = nullptr, *b = nullptr;

  void SetUp() override {
    ApplyProgramFormats();
    chart.resize(714, 441);
    chart.SetColor(QColor(0, 0, 255));
    chart.Gradient().SetVisible(true);
    chart.Gradient().SetEndColor(QColor(192, 192, 192));
    chart.SetBevelInner(bvLowered);
    chart.SetBevelWidth(3);
    chart.SetBorderWidth(2);
    chart.SetBorderStyle(bsSingle);
    chart.BackWall().SetBrushStyle(Qt::NoBrush);
    chart.Title().SetText({"TEMPERATURA VERSUS TIEMPO"});
    chart.Title().SetFont(QFont("Arial", 10, QFont::Bold));
    chart.BottomAxis().SetIncrement(1);
    chart.BottomAxis().SetLabelStyle(talValue);
    chart.BottomAxis().SetAxisValuesFormat("##.##.##");
    chart.BottomAxis().Title().SetCaption(QString::fromUtf8("Muestra número: (tiempo)"));
    chart.LeftAxis().SetStartPosition(2);
    chart.LeftAxis().SetEndPosition(97);
    chart.LeftAxis().Title().SetCaption(QString::fromUtf8("° C"));
    chart.LeftAxis().Title().SetFont(QFont("Arial", 14, QFont::Bold));
    chart.TopAxis().SetVisible(false);
    chart.RightAxis().SetVisible(false);
    a = &chart.AddSeries();
    b = &chart.AddSeries();
    a->SetSeriesColor(Qt::red);
    a->LinePen().SetWidth(2);
    b->SetSeriesColor(Qt::white);
    b->LinePen().SetWidth(3);
  }
  void TearDown() override { FormatSettings() = TFormatSettings(); }

  void Fill(TLineSeries &s, int n, double base, double amplitude) {
    for (int i = 0; i < n; ++i) s.Add(base + amplitude * std::sin(i / 9.0), QString(), s.SeriesColor());
  }

  void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(at), chart.mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(&chart, &e);
  }
  void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
    Mouse(QEvent::MouseButtonPress, button, from);
    Mouse(QEvent::MouseMove, button, (from + to) / 2);
    Mouse(QEvent::MouseMove, button, to);
    Mouse(QEvent::MouseButtonRelease, button, to);
  }
};

TEST_F(WindowChart, EmptyChartUsesZeroForBothEnds) {
  chart.ScreenLayout();
  EXPECT_EQ(chart.BottomAxis().IMinimum(), 0);
  EXPECT_EQ(chart.BottomAxis().IMaximum(), 0);
  EXPECT_EQ(chart.LeftAxis().IMaximum(), 0);
  EXPECT_FALSE(chart.grab().isNull());  // and it paints
}

TEST_F(WindowChart, AutomaticRangeFollowsTheShownSeries) {
  a->Add(10);
  a->Add(30);
  b->Add(-50);
  b->Add(5);
  b->Add(80);
  chart.ScreenLayout();
  EXPECT_EQ(chart.BottomAxis().IMaximum(), 2);
  EXPECT_EQ(chart.LeftAxis().IMinimum(), -50);
  EXPECT_EQ(chart.LeftAxis().IMaximum(), 80);

  b->SetActive(false);  // hidden: no longer counts
  chart.ScreenLayout();
  EXPECT_EQ(chart.LeftAxis().IMinimum(), 10);
  EXPECT_EQ(chart.LeftAxis().IMaximum(), 30);
  EXPECT_EQ(chart.BottomAxis().IMaximum(), 1);

  a->SetActive(false);  // nothing shown: every series counts again
  chart.ScreenLayout();
  EXPECT_EQ(chart.LeftAxis().IMinimum(), -50);
  EXPECT_EQ(chart.LeftAxis().IMaximum(), 80);

  a->SetActive(true);
  a->Clear();  // shown but empty: no values, no range
  chart.ScreenLayout();
  EXPECT_EQ(chart.LeftAxis().IMinimum(), 0);
  EXPECT_EQ(chart.LeftAxis().IMaximum(), 0);
}

TEST_F(WindowChart, LeftAxisSpansItsStartAndEndPositions) {
  Fill(*a, 100, 20, 10);
  const QRect r = chart.ChartRect();
  const TChartAxis &left = chart.LeftAxis();
  EXPECT_EQ(left.IStartPos(), r.top() + static_cast<int>(std::lround((r.height() - 1) * 0.02)));
  EXPECT_EQ(left.IEndPos(), r.top() + static_cast<int>(std::lround((r.height() - 1) * 0.97)));
  EXPECT_EQ(left.CalcPosValue(left.IMinimum()), left.IEndPos());  // upwards
  EXPECT_EQ(chart.BottomAxis().IStartPos(), r.left());
  EXPECT_EQ(chart.BottomAxis().IEndPos(), r.right());
  // Both ways.
  const int px = chart.BottomAxis().CalcPosValue(42);
  EXPECT_NEAR(chart.BottomAxis().CalcPosPoint(px), 42, 99.0 / chart.BottomAxis().IAxisSize());
}

TEST_F(WindowChart, LabelsUseTheAxisFormatAndTheDecimalComma) {
  EXPECT_EQ(chart.BottomAxis().LabelText(1500), "1500");
  EXPECT_EQ(chart.BottomAxis().LabelText(2.5), "2,5");
  EXPECT_EQ(chart.LeftAxis().LabelText(-12.25), "-12,25");
  EXPECT_EQ(chart.LeftAxis().LabelText(1234.5), "1.234,5");
}

TEST_F(WindowChart, BottomLabelsStayOnWholeSamplesAndFitTheWidth) {
  Fill(*a, 2000, 20, 10);
  const TChartLayout &l = chart.ScreenLayout();
  const TAxisTicks &t = l.Ticks[apBottom];
  EXPECT_GE(t.Step, 1);
  EXPECT_EQ(t.Step, std::round(t.Step));
  EXPECT_EQ(t.Values.front(), 0);
  EXPECT_LE(t.Values.size() * 20, static_cast<size_t>(chart.BottomAxis().IAxisSize()));
  a->Clear();
  Fill(*a, 8, 20, 10);  // few samples: every one gets its label
  EXPECT_EQ(chart.ScreenLayout().Ticks[apBottom].Step, 1);
}

TEST_F(WindowChart, ZoomNeedsMoreThanSixteenPixelsBothWays) {
  Fill(*a, 500, 20, 10);
  chart.ScreenLayout();
  Drag(Qt::LeftButton, {100, 100}, {116, 200});
  EXPECT_FALSE(chart.Zoomed());
  EXPECT_TRUE(chart.BottomAxis().Automatic());
  Drag(Qt::LeftButton, {100, 100}, {200, 116});
  EXPECT_FALSE(chart.Zoomed());

  const double expectLo = chart.BottomAxis().CalcPosPoint(100), expectHi = chart.BottomAxis().CalcPosPoint(117);
  const double expectTop = chart.LeftAxis().CalcPosPoint(100), expectBottom = chart.LeftAxis().CalcPosPoint(200);
  int zooms = 0;
  chart.OnZoom = [&](TChart &) { ++zooms; };
  Drag(Qt::LeftButton, {100, 100}, {117, 200});
  EXPECT_TRUE(chart.Zoomed());
  EXPECT_EQ(zooms, 1);
  EXPECT_FALSE(chart.BottomAxis().Automatic());
  EXPECT_DOUBLE_EQ(chart.BottomAxis().Minimum(), expectLo);
  EXPECT_DOUBLE_EQ(chart.BottomAxis().Maximum(), expectHi);
  EXPECT_DOUBLE_EQ(chart.LeftAxis().Minimum(), expectBottom);
  EXPECT_DOUBLE_EQ(chart.LeftAxis().Maximum(), expectTop);
}

TEST_F(WindowChart, DragsInAnyOtherDirectionUndoTheZoom) {
  Fill(*a, 500, 20, 10);
  int undos = 0;
  chart.OnUndoZoom = [&](TChart &) { ++undos; };
  const QPoint directions[][2] = {{{300, 300}, {200, 200}},   // up and left
                                  {{100, 300}, {200, 200}},   // right and up
                                  {{300, 100}, {200, 200}}};  // left and down
  for (const auto &d : directions) {
    chart.ZoomRect(QRect(QPoint(150, 150), QPoint(400, 300)));
    ASSERT_TRUE(chart.Zoomed());
    Drag(Qt::LeftButton, d[0], d[1]);
    EXPECT_FALSE(chart.Zoomed());
    EXPECT_TRUE(chart.BottomAxis().Automatic());
    EXPECT_TRUE(chart.LeftAxis().Automatic());
  }
  EXPECT_EQ(undos, 3);
  chart.ScreenLayout();
  EXPECT_EQ(chart.BottomAxis().IMaximum(), 499);  // the automatic range is back
}

TEST_F(WindowChart, SecondZoomUndoesToTheFirstSavedScales) {
  Fill(*a, 500, 20, 10);
  chart.LeftAxis().SetAutomaticMinimum(false);  // a setting of the user's, saved with the rest
  chart.LeftAxis().SetMinimum(-5);
  chart.ZoomRect(QRect(QPoint(150, 150), QPoint(400, 300)));
  chart.ZoomRect(QRect(QPoint(200, 160), QPoint(300, 250)));
  chart.UndoZoom();
  EXPECT_TRUE(chart.BottomAxis().Automatic());
  EXPECT_TRUE(chart.LeftAxis().Automatic());
  EXPECT_FALSE(chart.LeftAxis().AutomaticMinimum());
  EXPECT_EQ(chart.LeftAxis().Minimum(), -5);
}

TEST_F(WindowChart, ZoomedRangesSurviveClearingAndRefilling) {
  Fill(*a, 500, 20, 10);
  chart.ZoomRect(QRect(QPoint(150, 150), QPoint(400, 300)));
  const double lo = chart.BottomAxis().Minimum(), hi = chart.BottomAxis().Maximum();
  a->Clear();
  Fill(*a, 500, 20, 10);
  chart.ScreenLayout();
  EXPECT_EQ(chart.BottomAxis().IMinimum(), lo);
  EXPECT_EQ(chart.BottomAxis().IMaximum(), hi);
  EXPECT_TRUE(chart.Zoomed());
}

TEST_F(WindowChart, TinyZoomIsWidenedNotCollapsed) {
  chart.BottomAxis().SetMinMax(5, 5);
  EXPECT_NEAR(chart.BottomAxis().Maximum() - chart.BottomAxis().Minimum(), 1e-10, 1e-15);
  chart.BottomAxis().SetMinMax(9, 3);  // wrong way round
  EXPECT_EQ(chart.BottomAxis().Minimum(), 3);
  EXPECT_EQ(chart.BottomAxis().Maximum(), 9);
}

TEST_F(WindowChart, DraggingRightWithTheRightButtonShowsSmallerSamples) {
  Fill(*a, 500, 20, 10);
  chart.ZoomRect(QRect(QPoint(300, 150), QPoint(500, 300)));
  chart.ScreenLayout();
  const double lo = chart.BottomAxis().IMinimum(), hi = chart.BottomAxis().IMaximum();
  const double perPixel = (hi - lo) / chart.BottomAxis().IAxisSize();
  int scrolls = 0;
  chart.OnScroll = [&](TChart &) { ++scrolls; };
  Drag(Qt::RightButton, {300, 200}, {340, 200});
  EXPECT_GT(scrolls, 0);
  EXPECT_NEAR(chart.BottomAxis().Minimum(), lo - 40 * perPixel, 1e-6);
  EXPECT_NEAR(chart.BottomAxis().Maximum(), hi - 40 * perPixel, 1e-6);
  EXPECT_FALSE(chart.Panning());
}

TEST_F(WindowChart, PanningStopsWhenThePointerLeavesTheChart) {
  Fill(*a, 500, 20, 10);
  chart.ScreenLayout();
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, {300, 200});
  EXPECT_TRUE(chart.Panning());
  Mouse(QEvent::MouseMove, Qt::RightButton, {310, 200});
  const double after = chart.BottomAxis().Minimum();
  EXPECT_FALSE(chart.BottomAxis().Automatic());         // a pan fixes the ranges
  Mouse(QEvent::MouseMove, Qt::RightButton, {310, 2});  // on the title
  EXPECT_FALSE(chart.Panning());
  Mouse(QEvent::MouseMove, Qt::RightButton, {250, 200});
  EXPECT_EQ(chart.BottomAxis().Minimum(), after);
  chart.UndoZoom();
  EXPECT_TRUE(chart.BottomAxis().Automatic());
}

TEST_F(WindowChart, AVetoedAxisDoesNotMove) {
  Fill(*a, 500, 20, 10);
  chart.ScreenLayout();
  chart.OnAllowScroll = [](TChartAxis &axis, double &, double &, bool &allow) { allow = axis.Horizontal(); };
  const double top = chart.LeftAxis().IMaximum();
  Drag(Qt::RightButton, {300, 200}, {340, 260});
  chart.ScreenLayout();
  EXPECT_TRUE(chart.LeftAxis().Automatic());
  EXPECT_EQ(chart.LeftAxis().IMaximum(), top);
  EXPECT_FALSE(chart.BottomAxis().Automatic());
}

TEST_F(WindowChart, PressOnTheTitleStartsNothing) {
  Fill(*a, 50, 20, 10);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, {357, 5});
  EXPECT_FALSE(chart.Zooming());
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {357, 5});
}

int CountColor(const QImage &img, QRgb color) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) ++n;
  return n;
}

TEST_F(WindowChart, DecimatedAndFullDrawingGiveTheSamePicture) {
  for (int i = 0; i < 20000; ++i) {
    a->Add(20 + 10 * std::sin(i / 500.0) + ((i * 7919) % 13) * 0.7, QString(), Qt::red);
    b->Add(15 + 8 * std::cos(i / 300.0) + ((i * 104729) % 17) * 0.5, QString(), Qt::white);
  }
  chart.ZoomRect(QRect(QPoint(120, 80), QPoint(600, 380)));  // with entries from the edge
  const QImage decimated = chart.RenderImage();
  chart.SetDecimation(false);
  const QImage full = chart.RenderImage();
  EXPECT_EQ(decimated, full);
  EXPECT_GT(CountColor(decimated, qRgb(255, 0, 0)), 1000);
}

// Lines written straight into a 32-bit image and lines filled through the
// painter (any other device) must land on the same pixels.
TEST_F(WindowChart, DirectAndPaintedLinesMatch) {
  Fill(*a, 3000, 20, 10);
  Fill(*b, 3000, 18, 6);
  chart.ZoomRect(QRect(QPoint(150, 100), QPoint(550, 350)));
  QImage direct(chart.size(), QImage::Format_RGB32), painted(chart.size(), QImage::Format_RGB888);
  for (QImage *img : {&direct, &painted}) {
    QPainter p(img);
    chart.Draw(p, img->rect(), 1.0);
  }
  const QImage painted32 = painted.convertToFormat(QImage::Format_RGB32);
  int red = 0;
  for (int y = 0; y < direct.height(); ++y)
    for (int x = 0; x < direct.width(); ++x) {
      const bool d = (direct.pixel(x, y) & 0xFFFFFF) == 0xFF0000u, q = (painted32.pixel(x, y) & 0xFFFFFF) == 0xFF0000u;
      ASSERT_EQ(d, q) << x << "," << y;
      red += d;
    }
  EXPECT_GT(red, 500);
}

TEST_F(WindowChart, SeriesAreClippedToTheChartRectangle) {
  Fill(*a, 200, 20, 10);
  chart.ZoomRect(QRect(QPoint(200, 150), QPoint(400, 250)));  // most of the line now runs outside
  const QImage img = chart.RenderImage();
  const QRect r = chart.ChartRect();
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (!r.contains(x, y)) {
        ASSERT_NE(img.pixel(x, y) & 0xFFFFFF, 0xFF0000u) << x << "," << y;
      }
}

// Zoomed again and again around 20 degrees, the samples either side lie
// millions of pixels off the plot; the lines towards them must still be
// there, where exact (floating-point) segments put them, on the screen and
// on the printer path alike.
TEST_F(WindowChart, DeepZoomDrawsTheSegmentsWhereExactGeometryPutsThem) {
  const double data[] = {10, 20, 20, 20, 27, 20, 20, 20, 40};
  for (double y : data) a->Add(y, QString(), Qt::red);
  const QRgb red = qRgb(255, 0, 0);
  const int pen = 2;
  auto columnRows = [&](const QImage &img, int x, int &lo, int &hi) {
    lo = INT_MAX, hi = INT_MIN;
    for (int y = 0; y < img.height(); ++y)
      if ((img.pixel(x, y) & 0xFFFFFF) == (red & 0xFFFFFF)) lo = std::min(lo, y), hi = std::max(hi, y);
  };
  // Qt's own wide pen (the printer path) strays a pixel more than ours.
  auto check = [&](const QImage &img, int level, const char *path, int slack = 1) {
    const TChartLayout &l = chart.ScreenLayout();
    const QRect r = l.ChartRect;
    const TAxisMap &h = l.Maps[apBottom], &v = l.Maps[apLeft];
    // The rows the exact polyline crosses between two abscissas, inside the
    // plot. Samples stand on whole pixel columns, as they always have; the
    // heights are exact.
    auto exact = [&](double from, double to, double &lo, double &hi) {
      lo = 1e300, hi = -1e300;
      for (int i = 1; i < 9; ++i) {
        const double x0 = h.Pixel(i - 1), x1 = h.Pixel(i), y0 = v.Position(data[i - 1]), y1 = v.Position(data[i]);
        const double a0 = std::max(x0, from), a1 = std::min(x1, to);
        if (a0 > a1) continue;
        for (double at : {a0, a1}) {
          const double y = y0 + (y1 - y0) * (at - x0) / (x1 - x0);
          lo = std::min(lo, y), hi = std::max(hi, y);
        }
      }
      lo = std::max(lo, double(r.top())), hi = std::min(hi, double(r.bottom()));
    };
    for (int x = r.left() + 1; x < r.right(); ++x) {
      // The 2-pixel pen puts the column's own line and the next column's,
      // a row higher, into this column.
      double inLo, inHi, outLo, outHi;
      exact(x - 0.5, x + 0.5, inLo, inHi);
      exact(x - 0.5, x + 1.5, outLo, outHi);
      int lo, hi;
      columnRows(img, x, lo, hi);
      const std::string where = std::string(path) + " zoom " + std::to_string(level) + " column " + std::to_string(x);
      if (inLo <= inHi) {
        ASSERT_NE(lo, INT_MAX) << where;
        EXPECT_LE(lo, inLo + slack) << where;
        EXPECT_GE(hi, inHi - slack) << where;
      }
      if (lo != INT_MAX) {
        EXPECT_GE(lo, outLo - pen - slack + 1) << where;
        EXPECT_LE(hi, outHi + slack) << where;
      }
    }
  };
  for (int level = 1; level <= 10; ++level) {
    const TChartLayout &l = chart.ScreenLayout();
    const int y20 = l.Maps[apLeft].Pixel(20);
    chart.ZoomRect(QRect(QPoint(l.ChartRect.left(), y20 - 20), QPoint(l.ChartRect.right(), y20 + 20)));
    if (level < 2) continue;
    for (bool decimate : {true, false}) {
      chart.SetDecimation(decimate);
      check(chart.RenderImage(), level, decimate ? "decimated" : "full");
    }
    // What a printer gets: the lines as recorded drawing commands.
    QPicture picture;
    {
      QPainter p(&picture);
      chart.Draw(p, chart.rect(), 1.0);
    }
    QImage printed(chart.size(), QImage::Format_RGB32);
    printed.fill(Qt::white);
    {
      QPainter p(&printed);
      p.drawPicture(0, 0, picture);
    }
    check(printed, level, "printed", 2);
  }
  EXPECT_LT(chart.LeftAxis().Maximum() - chart.LeftAxis().Minimum(), 1e-6);
}

// Markers, marks and the legend: hidden as the graph window has them, they
// change nothing; shown, each lands where it belongs.
TEST_F(WindowChart, PointersMarksAndLegendAppearOnlyWhenShown) {
  for (double y : {10.0, 30.0, 15.0, 25.0, 20.0}) a->Add(y, QString(), Qt::red);
  a->SetTitle("CANAL1");
  const QImage plain = chart.RenderImage();
  const QRect plainRect = chart.ChartRect();
  auto at = [&](int i) {
    const TChartLayout &l = chart.ScreenLayout();
    return QPoint(l.Maps[apBottom].Pixel(i), l.Maps[apLeft].Pixel(a->YValues()[i]));
  };
  auto rgb = [](const QImage &img, QPoint p) { return img.pixel(p) & 0xFFFFFF; };

  a->Pointer().SetVisible(true);
  QImage img = chart.RenderImage();
  for (int i = 1; i < 4; ++i) {
    // Filled with the point's colour (the line alone would not reach all
    // four corners), inside a black outline.
    for (QPoint d : {QPoint(2, 2), QPoint(-2, 2), QPoint(2, -2), QPoint(-2, -2)})
      EXPECT_EQ(rgb(img, at(i) + d), 0xFF0000u) << i << " " << d.x() << "," << d.y();
    int black = 0;
    for (int dy = -5; dy <= 5; ++dy)
      for (int dx = -5; dx <= 5; ++dx) black += rgb(img, at(i) + QPoint(dx, dy)) == 0;
    EXPECT_GE(black, 16) << i;
  }
  a->Pointer().SetVisible(false);
  EXPECT_EQ(chart.RenderImage(), plain);

  a->Marks().SetVisible(true);
  img = chart.RenderImage();
  for (int i = 1; i < 4; ++i) {
    const QPoint above = at(i) - QPoint(0, a->Marks().ArrowLength() + 3);
    int back = 0;
    for (int dx = -8; dx <= 8; ++dx) back += rgb(img, above + QPoint(dx, 0)) == 0xFFFFE1u;
    EXPECT_GT(back, 0) << i;
  }
  a->Marks().SetVisible(false);
  EXPECT_EQ(chart.RenderImage(), plain);

  struct Case {
    bool resize;
    TLegendAlignment align;
  };
  for (const Case c : {Case{true, laRight}, Case{false, laRight}, Case{true, laLeft}, Case{true, laBottom}}) {
    chart.Legend().SetResizeChart(c.resize);
    chart.Legend().SetAlignment(c.align);
    chart.Legend().SetVisible(true);
    img = chart.RenderImage();
    const QRect legend = chart.ScreenLayout().LegendRect, r = chart.ChartRect();
    ASSERT_FALSE(legend.isEmpty());
    EXPECT_TRUE(chart.rect().contains(legend));
    EXPECT_EQ(r.intersects(legend), !c.resize) << c.align;
    EXPECT_EQ(r == plainRect, !c.resize) << c.align;
    // The stroke of the first series' line before its title, in the first row.
    int red = 0;
    for (int y = legend.top(); y < legend.center().y(); ++y)
      for (int x = legend.left(); x < legend.left() + 24; ++x) red += rgb(img, QPoint(x, y)) == 0xFF0000u;
    EXPECT_GE(red, 16) << c.align;
  }
  chart.Legend().SetVisible(false);
  EXPECT_EQ(chart.RenderImage(), plain);
}

// The readout follows the pointer to the nearest point, steps with the
// arrows among the points in sight, gives way to zoom and pan, and leaves
// the picture as it was when it goes.
TEST_F(WindowChart, ReadoutCursorFollowsThePointerAndTheArrowKeys) {
  Fill(*a, 50, 20, 10);
  chart.SetReadoutCursor(true);
  std::vector<int> asked;
  chart.OnReadout = [&](int index, double x) {
    asked.push_back(index);
    return std::vector<TChart::TReadoutLine>{{QString("Muestra %1").arg(x), QColor()}, {"CANAL1: 20,0", Qt::red}};
  };
  chart.show();
  const QImage plain = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const TChartLayout &l = chart.ScreenLayout();
  const TAxisMap &h = l.Maps[apBottom];
  // Between points 10 and 11, nearer 11.
  Mouse(QEvent::MouseMove, Qt::NoButton, {static_cast<int>(std::lround(h.Position(10.6))), l.ChartRect.center().y()});
  EXPECT_EQ(chart.CursorIndex(), 11);
  const QImage shown = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const int x = h.Pixel(11);
  EXPECT_EQ(shown.pixel(x, l.ChartRect.bottom() - 2) & 0xFFFFFF, 0u);  // the line
  EXPECT_GT(CountColor(shown, qRgb(255, 255, 225)), 500);              // the box
  EXPECT_FALSE(asked.empty());
  EXPECT_TRUE(chart.CursorRect().contains(x, l.ChartRect.center().y()));

  auto key = [&](int k) {
    QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(&chart, &e);
  };
  key(Qt::Key_Right);
  EXPECT_EQ(chart.CursorIndex(), 12);
  key(Qt::Key_Left), key(Qt::Key_Left);
  EXPECT_EQ(chart.CursorIndex(), 10);
  for (int i = 0; i < 80; ++i) key(Qt::Key_Right);
  EXPECT_EQ(chart.CursorIndex(), 49);  // the last point, no further

  // A zoom takes the cursor away and brings it back on the next move; after
  // the zoom the arrows stay among the points in sight.
  Drag(Qt::LeftButton, {h.Pixel(20), l.ChartRect.top() + 5}, {h.Pixel(30), l.ChartRect.bottom() - 5});
  EXPECT_EQ(chart.CursorIndex(), -1);
  Mouse(QEvent::MouseMove, Qt::NoButton, {l.ChartRect.left() + 2, l.ChartRect.center().y()});
  const int first = chart.CursorIndex();
  EXPECT_GE(first, 20);
  key(Qt::Key_Left);
  EXPECT_EQ(chart.CursorIndex(), first);

  // Off the plot, or out of the window: gone, and the picture is as before.
  chart.UndoZoom();
  Mouse(QEvent::MouseMove, Qt::NoButton, {5, 5});
  EXPECT_EQ(chart.CursorIndex(), -1);
  Mouse(QEvent::MouseMove, Qt::NoButton, {x, l.ChartRect.center().y()});
  EXPECT_EQ(chart.CursorIndex(), 11);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&chart, &leave);
  EXPECT_EQ(chart.CursorIndex(), -1);
  EXPECT_EQ(chart.grab().toImage().convertToFormat(QImage::Format_RGB32), plain);
}

TEST_F(WindowChart, HiddenSeriesAreNotDrawnButKeepTheirPoints) {
  Fill(*a, 200, 20, 10);
  b->SetActive(false);
  Fill(*b, 200, 25, 5);
  const int whiteHidden = CountColor(chart.RenderImage(), qRgb(255, 255, 255));
  b->SetActive(true);
  EXPECT_EQ(b->Count(), 200);
  EXPECT_GT(CountColor(chart.RenderImage(), qRgb(255, 255, 255)), whiteHidden + 300);
}

TEST_F(WindowChart, ClipboardGetsTheChartPicture) {
  Fill(*a, 100, 20, 10);
  chart.CopyToClipboardBitmap();
  const QImage img = QApplication::clipboard()->image();
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.size(), QSize(714, 441));
  EXPECT_GT(CountColor(img, qRgb(255, 0, 0)), 100);
}

TEST_F(WindowChart, DrawScalesIntoAnyRectangle) {
  Fill(*a, 100, 20, 10);
  QImage page(1428, 882, QImage::Format_RGB32);
  page.fill(Qt::white);
  QPainter p(&page);
  chart.Draw(p, page.rect(), 2.0);
  p.end();
  // Twice the size: the line is about twice as many pixels, the layout the same.
  const int small = CountColor(chart.RenderImage(), qRgb(255, 0, 0));
  const int big = CountColor(page, qRgb(255, 0, 0));
  EXPECT_GT(big, 3 * small);
  EXPECT_LT(big, 5 * small);
  // The screen working values are those of the screen, not of the page.
  EXPECT_LT(chart.BottomAxis().IEndPos(), 714);
}

TEST_F(WindowChart, RubberBandIsDrawnInNotXorOverThePicture) {
  Fill(*a, 100, 20, 10);
  chart.show();
  const QImage before = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, {200, 150});
  Mouse(QEvent::MouseMove, Qt::LeftButton, {300, 250});
  ASSERT_TRUE(chart.Zooming());
  const QImage during = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  // not-xor with blue keeps the blue channel and inverts red and green
  const int k = static_cast<int>(before.devicePixelRatio());  // grabs are in device pixels
  const QRgb was = before.pixel(250 * k, 150 * k), now = during.pixel(250 * k, 150 * k);
  EXPECT_EQ(qRed(now), 255 - qRed(was));
  EXPECT_EQ(qGreen(now), 255 - qGreen(was));
  EXPECT_EQ(qBlue(now), qBlue(was));
  EXPECT_EQ(during.pixel(250 * k, 200 * k), before.pixel(250 * k, 200 * k));  // no fill
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {210, 160});              // too small: nothing
  EXPECT_FALSE(chart.Zoomed());
  EXPECT_EQ(chart.grab().toImage().convertToFormat(QImage::Format_RGB32), before);
}

TEST_F(WindowChart, AnimatedZoomEndsOnTheSameRangeAndFiresOnce) {
  Fill(*a, 500, 20, 10);
  chart.ScreenLayout();
  const QRect band(QPoint(150, 150), QPoint(400, 300));
  const double lo = chart.BottomAxis().CalcPosPoint(150), hi = chart.BottomAxis().CalcPosPoint(400);
  int zooms = 0;
  chart.OnZoom = [&](TChart &) { ++zooms; };
  chart.SetAnimatedZoom(true);
  chart.ZoomRect(band);
  EXPECT_EQ(zooms, 1);
  EXPECT_DOUBLE_EQ(chart.BottomAxis().Minimum(), lo);
  EXPECT_DOUBLE_EQ(chart.BottomAxis().Maximum(), hi);
  chart.UndoZoom();  // the steps in between did not disturb the saved scales
  EXPECT_TRUE(chart.BottomAxis().Automatic());
}

TEST_F(WindowChart, RubberBandIsBlackOnAWhitePanel) {
  chart.SetColor(Qt::white);
  chart.Gradient().SetVisible(false);
  Fill(*a, 100, 20, 10);
  chart.show();
  const QImage before = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, {200, 150});
  Mouse(QEvent::MouseMove, Qt::LeftButton, {300, 250});
  const QImage during = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
  // not-xor with black inverts every channel
  const int k = static_cast<int>(before.devicePixelRatio());  // grabs are in device pixels
  const QRgb was = before.pixel(250 * k, 150 * k), now = during.pixel(250 * k, 150 * k);
  EXPECT_EQ(qRed(now), 255 - qRed(was));
  EXPECT_EQ(qBlue(now), 255 - qBlue(was));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, {300, 250});
  EXPECT_TRUE(chart.Zoomed());
}

TEST(LineSeries, AddGivesCountAsXAndKeepsColoursAndLabels) {
  TLineSeries s;
  EXPECT_EQ(s.Add(5), 0);
  EXPECT_EQ(s.Add(7, "b", Qt::green), 1);
  EXPECT_EQ(s.XValues()[1], 1);
  EXPECT_EQ(s.YValues()[1], 7);
  EXPECT_EQ(s.ValueColor(0), s.SeriesColor());
  EXPECT_EQ(s.ValueColor(1), QColor(Qt::green));
  EXPECT_EQ(s.ValueLabel(1), "b");
  EXPECT_FALSE(s.UniformColor());
  EXPECT_EQ(s.AddXY(0.5, 9), 1);  // sorted place
  EXPECT_EQ(s.YValues()[1], 9);
  EXPECT_EQ(s.ValueColor(2), QColor(Qt::green));  // colours moved with their points
  s.Clear();
  EXPECT_EQ(s.Count(), 0);
  EXPECT_TRUE(s.UniformColor());
  EXPECT_EQ(s.Add(1), 0);
}

TEST(LineSeries, RangesSkipMissingValues) {
  TLineSeries s;
  s.Add(NAN);
  EXPECT_FALSE(s.YValues().HasRange());
  s.Add(-3);
  s.Add(4);
  EXPECT_EQ(s.YValues().MinValue(), -3);
  EXPECT_EQ(s.YValues().MaxValue(), 4);
}

}  // namespace
