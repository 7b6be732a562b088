#include "widgets/scale_draw.h"
#include "widgets/scale_engine.h"

#include "runtime/format_settings.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

namespace {

TEST(ScaleEngine, LabelsRunFromTheTopValueDownToTheBottomOne) {
  const TScaleDiv d = DivideScale(-10, 45, 3, 3, "##0");
  ASSERT_EQ(d.Labels.size(), 4u);
  EXPECT_EQ(d.Labels[0], "45");
  EXPECT_EQ(d.Labels[1], "27");
  EXPECT_EQ(d.Labels[2], "8");
  EXPECT_EQ(d.Labels[3], "-10");
  ASSERT_EQ(d.Major.size(), 4u);
  EXPECT_DOUBLE_EQ(d.Major.front(), 45);
  EXPECT_DOUBLE_EQ(d.Major.back(), -10);  // exactly, not 45 - 3 * 18.333..
  // Two sub ticks in each of the three intervals, top down.
  ASSERT_EQ(d.Minor.size(), 6u);
  EXPECT_NEAR(d.Minor[0], 45 - 55.0 / 9, 1e-9);
  EXPECT_NEAR(d.Minor[5], -10 + 55.0 / 9, 1e-9);
  for (size_t i = 1; i < d.Minor.size(); ++i) EXPECT_LT(d.Minor[i], d.Minor[i - 1]);
}

TEST(ScaleEngine, BatteryScaleAndDegenerateStepCounts) {
  const TScaleDiv d = DivideScale(50, 100, 5, 2, "##0");
  const std::vector<std::string> want = {"100", "90", "80", "70", "60", "50"};
  EXPECT_EQ(d.Labels, want);
  EXPECT_EQ(d.Minor.size(), 5u);
  // No steps still gives both ends; one sub step means no sub ticks.
  const TScaleDiv one = DivideScale(0, 10, 0, 1, "##0");
  EXPECT_EQ(one.Labels, (std::vector<std::string>{"10", "0"}));
  EXPECT_TRUE(one.Minor.empty());
}

TEST(ScaleEngine, LabelsFollowTheDecimalSeparator) {
  const char saved = FormatSettings().DecimalSeparator;
  FormatSettings().DecimalSeparator = ',';
  const TScaleDiv d = DivideScale(0, 1, 2, 1, "0.0");
  FormatSettings().DecimalSeparator = saved;
  EXPECT_EQ(d.Labels, (std::vector<std::string>{"1,0", "0,5", "0,0"}));
}

TEST(ScaleMap, MapsBothWaysAndRunsBackwards) {
  const TScaleMap column(45, -10, 30, 105);  // top value at the top row
  EXPECT_DOUBLE_EQ(column.Transform(45), 30);
  EXPECT_DOUBLE_EQ(column.Transform(-10), 105);
  EXPECT_DOUBLE_EQ(column.Transform(17.5), 67.5);
  EXPECT_DOUBLE_EQ(column.Invert(67.5), 17.5);
  const TScaleMap arc(50, 100, 300, 420);
  EXPECT_DOUBLE_EQ(arc.Transform(75), 360);
  EXPECT_DOUBLE_EQ(TScaleMap(5, 5, 1, 9).Transform(7), 1);  // empty range: no division by zero
}

TEST(ScaleSettings, DerivedSizesFollowTheLabelFont) {
  TScaleSettings s;
  QFont f("Arial");
  f.setPixelSize(28);
  s.SetFont(f);
  const TScaleMetrics m = s.Measure(s.Divide(-10, 45));
  const int h = QFontMetrics(f).height();
  EXPECT_EQ(m.TextHeight, h);
  EXPECT_EQ(m.MainTickLength, int(std::lround(h / 1.4)));
  EXPECT_EQ(m.MainPenWidth, int(std::lround(h / 14.0)));
  ASSERT_GT(m.MainPenWidth, 1);
  EXPECT_EQ(m.SubTickLength, int(std::lround(m.MainTickLength / 1.4)));
  EXPECT_EQ(m.LabelGap, h / 3);
  EXPECT_EQ(m.ScaleWidth, m.WidestLabel + m.MainTickLength + m.LabelGap);

  f.setPixelSize(11);
  s.SetFont(f);
  const TScaleMetrics small = s.Measure(s.Divide(-10, 45));
  ASSERT_EQ(small.MainPenWidth, 1);
  EXPECT_EQ(small.SubTickLength, small.MainTickLength / 2);
}

TEST(ScaleSettings, SettersIgnoreEqualAndInvalidValues) {
  TScaleSettings s;
  int changes = 0;
  s.OnChange = [&] { ++changes; };
  s.SetSteps(5);
  s.SetSteps(0);
  s.SetSubSteps(-1);
  s.SetDrawLine(true);
  EXPECT_EQ(changes, 0);
  s.SetSteps(3);
  s.SetDrawLine(false);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(s.Steps(), 3);
}

// Rows of the image that hold any dark pixel between two columns.
int DarkPixels(const QImage &img, int x0, int x1) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = x0; x < x1; ++x) n += qGray(img.pixel(x, y)) < 128;
  return n;
}

TEST(LinearScaleDraw, TicksPointAwayAndTightLabelsStayWhole) {
  TScaleSettings s;
  QFont f("Arial");
  f.setPointSize(8);
  s.SetFont(f);
  s.SetSteps(3);
  s.SetSubSteps(3);
  s.SetDrawLine(false);
  const TScaleDiv div = s.Divide(-10, 45);
  const TScaleMetrics m = s.Measure(div);
  const int width = m.ScaleWidth + 10;
  QImage img(width, 120, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  const TScaleMap map(45, -10, 10, 110);
  // Labels may use columns 2 .. width-1 only; the scale is 2 pixels short.
  const int tickX = m.ScaleWidth - 1 + 5 - 3;
  DrawLinearScale(p, s, m, div, map, tickX, true, 5, width);
  p.end();
  // The main tick of 45 runs from tickX outwards for the main tick length.
  EXPECT_LT(qGray(img.pixel(tickX, 10)), 128);
  EXPECT_LT(qGray(img.pixel(tickX - m.MainTickLength + 1, 10)), 128);
  EXPECT_GT(qGray(img.pixel(tickX + 1, 10)), 128);
  EXPECT_GT(qGray(img.pixel(tickX - m.MainTickLength, 10)), 128);
  // Nothing left of the allowed label area, yet the minus sign is there.
  EXPECT_EQ(DarkPixels(img, 0, 5), 0);
  EXPECT_GT(DarkPixels(img, 5, 9), 0);
}

}  // namespace
