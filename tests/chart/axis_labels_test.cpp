#include "chart/axis_scale.h"
#include "chart/chart.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

TEST(PictureWithDecimals, AddsOnlyTheMissingPlaces) {
  const struct {
    const char *picture;
    int decimals;
    const char *widened;
  } cases[] = {
      {"#,##0.###", 5, "#,##0.#####"},      // the value axis' own
      {"#,##0.###", 2, "#,##0.###"},        // already enough
      {"0", 2, "0.##"},                     // no point yet
      {"##.##.##", 6, "##.##.####"},        // places after the first point count
      {"0.0 'C.'", 3, "0.0## 'C.'"},        // quoted text stays after
      {"0.0;(0.0);-", 2, "0.0#;(0.0#);-"},  // every section with digits
  };
  for (const auto &c : cases) EXPECT_EQ(PictureWithDecimals(c.picture, c.decimals), c.widened) << c.picture;
}

// The value axis as the graph window has it, zoomed again and again around
// 20 °C: at every depth its labels read differently from each other and each
// one reads back as the value it stands at.
TEST(ValueAxisLabels, StayDistinctAtEveryZoomDepth) {
  ApplyProgramFormats();
  TChart chart;
  chart.resize(714, 441);
  chart.BottomAxis().SetIncrement(1);
  chart.LeftAxis().SetStartPosition(2);
  chart.LeftAxis().SetEndPosition(97);
  TLineSeries &s = chart.AddSeries();
  for (int i = 0; i < 300; ++i) s.Add(20 + 5 * std::sin(i / 17.0));
  for (int depth = 0; depth <= 12; ++depth) {
    SCOPED_TRACE("zoom depth " + std::to_string(depth));
    const TChartLayout &l = chart.ScreenLayout();
    const TAxisTicks &ticks = l.Ticks[apLeft];
    ASSERT_GE(ticks.Values.size(), 2u);
    std::set<std::string> texts;
    for (double v : ticks.Values) {
      const std::string text = chart.LeftAxis().LabelText(v, ticks.Step);
      texts.insert(text);
      EXPECT_NEAR(StrToFloat(text), v, ticks.Step / 1000) << text;
    }
    EXPECT_EQ(texts.size(), ticks.Values.size());
    // The next zoom: a band around 20 as a user would drag it.
    const int y20 = l.Maps[apLeft].Pixel(20);
    chart.ZoomRect(QRect(QPoint(l.ChartRect.left() + 20, y20 - 40), QPoint(l.ChartRect.right() - 20, y20 + 40)));
  }
  FormatSettings() = TFormatSettings();
}

}  // namespace
