// Bands behind the series: their limits always in sight on the left axis,
// their shading on the limit's far side only, inside the chart rectangle.

#include "chart/chart.h"

#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>

namespace {

struct BandChart : ::testing::Test {
  TChart chart;
  TLineSeries *s = nullptr;
  void SetUp() override {
    ApplyProgramFormats();
    chart.resize(714, 441);
    chart.BackWall().SetBrushStyle(Qt::NoBrush);
    chart.TopAxis().SetVisible(false);
    chart.RightAxis().SetVisible(false);
    s = &chart.AddSeries();
    s->SetSeriesColor(Qt::red);
    for (double v : {10.0, 30.0, 20.0}) s->Add(v, QString(), Qt::red);
  }
  void TearDown() override { FormatSettings() = TFormatSettings(); }
};

TEST_F(BandChart, FiniteEdgesWidenTheLeftAxisOpenOnesDoNot) {
  struct Case {
    double Low, High;
    double Min, Max;
  };
  const Case cases[] = {
      {40, HUGE_VAL, 10, 40},        // a high limit above the data
      {-HUGE_VAL, 0, 0, 30},         // a low limit below it
      {-HUGE_VAL, 15, 10, 30},       // a limit inside changes nothing
      {-5, 50, -5, 50},              // a band around everything
      {-HUGE_VAL, HUGE_VAL, 10, 30}  // no edge at all
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.Low) + " .. " + std::to_string(c.High));
    chart.SetBands({TChartBand{c.Low, c.High, QColor(0, 0, 255, 60), QColor(0, 0, 255), Qt::DashLine}});
    chart.ScreenLayout();
    EXPECT_DOUBLE_EQ(chart.LeftAxis().IMinimum(), c.Min);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().IMaximum(), c.Max);
  }
  s->Clear();  // without data the bands make no range of their own
  chart.SetBands({TChartBand{40, HUGE_VAL, QColor(0, 0, 255, 60), QColor(), Qt::DashLine}});
  chart.ScreenLayout();
  EXPECT_DOUBLE_EQ(chart.LeftAxis().IMaximum(), 0);
}

TEST_F(BandChart, ShadesBeyondTheLimitOnlyAndInsideTheChart) {
  s->Clear();
  for (double v : {10.0, 10.0, 10.0}) s->Add(v, QString(), Qt::red);
  chart.SetBands({TChartBand{-HUGE_VAL, 20, QColor(0, 200, 0), QColor(), Qt::DashLine},
                  TChartBand{30, 40, QColor(0, 0, 200), QColor(0, 0, 0), Qt::SolidLine}});
  s->Add(40, QString(), Qt::red);  // the range runs 10 to 40
  const QImage image = chart.RenderImage();
  const TChartLayout &l = chart.ScreenLayout();
  const QRect r = l.ChartRect;
  const TAxisMap &m = l.Maps[apLeft];
  const int x = r.left() + r.width() / 3;
  auto at = [&](double value) { return image.pixelColor(x, m.Pixel(value)); };
  EXPECT_EQ(at(15), QColor(0, 200, 0));  // below the low band's top
  EXPECT_EQ(at(35), QColor(0, 0, 200));  // inside the second band
  EXPECT_NE(at(25), QColor(0, 200, 0));  // between them: neither
  EXPECT_NE(at(25), QColor(0, 0, 200));
  EXPECT_EQ(at(30), QColor(0, 0, 0));  // the second band's edges
  EXPECT_EQ(at(40), QColor(0, 0, 0));
  // The low band is open downwards: it reaches the chart's bottom, not below.
  EXPECT_EQ(image.pixelColor(x, r.bottom() - 1), QColor(0, 200, 0));
  EXPECT_NE(image.pixelColor(x, r.bottom() + 3), QColor(0, 200, 0));
  EXPECT_NE(image.pixelColor(r.left() - 3, m.Pixel(15)), QColor(0, 200, 0));
}

}  // namespace
