#include "chart/series_path.h"
#include "chart/line_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

TAxisMap Horizontal(double lo, double hi, int from, int to) {
  TAxisMap m;
  m.Minimum = lo, m.Maximum = hi, m.StartPos = from, m.EndPos = to, m.Horizontal = true;
  return m;
}

TAxisMap Vertical(double lo, double hi, int from, int to) {
  TAxisMap m = Horizontal(lo, hi, from, to);
  m.Horizontal = false;
  return m;
}

std::vector<double> Counting(size_t n) {
  std::vector<double> xs(n);
  for (size_t i = 0; i < n; ++i) xs[i] = static_cast<double>(i);
  return xs;
}

TColumnSpans Spans(const std::vector<TPixelPoint> &path, int left, int width) {
  TColumnSpans s;
  s.Reset(left, width);
  RasterizePolyline(path.data(), path.size(), s);
  return s;
}

void ExpectSameSpans(const TColumnSpans &a, const TColumnSpans &b) {
  ASSERT_EQ(a.Width(), b.Width());
  for (int c = 0; c < a.Width(); ++c) {
    ASSERT_EQ(a.Empty(c), b.Empty(c)) << "column " << c;
    if (a.Empty(c)) continue;
    ASSERT_EQ(a.Lo[c], b.Lo[c]) << "column " << c;
    ASSERT_EQ(a.Hi[c], b.Hi[c]) << "column " << c;
  }
}

// Dense noisy data with spikes far off the drawable range and gaps (NaN):
// the per-column reduction must not change a single pixel.
TEST(SeriesPath, DecimatedLineCoversExactlyThePixelsOfTheFullOne) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0, 3);
  const size_t n = 50000;
  const auto xs = Counting(n);
  std::vector<double> ys(n);
  double y = 20;
  for (size_t i = 0; i < n; ++i) {
    y += noise(rng) * 0.2;
    ys[i] = y + noise(rng);
    if (i % 997 == 0) ys[i] = 1e9;   // far off the plot: cut at the band
    if (i % 1499 == 0) ys[i] = NAN;  // no value
  }
  const TAxisMap h = Horizontal(1000, 41000, 40, 690);
  const TAxisMap v = Vertical(-20, 60, 30, 420);
  const TClipBand band{20, 430};
  std::vector<TPixelPoint> full, decimated;
  BuildSeriesPath(xs.data(), ys.data(), n, h, v, false, full, nullptr, {}, band);
  BuildSeriesPath(xs.data(), ys.data(), n, h, v, true, decimated, nullptr, {}, band);
  EXPECT_GT(full.size(), 20000u);                        // dense, though the walk leaves the band at times
  EXPECT_LE(decimated.size(), 4u * (h.Size() + 1) + 2);  // bounded by the width
  ExpectSameSpans(Spans(full, 0, 760), Spans(decimated, 0, 760));

  TColumnSpans wideFull, wideDecimated;
  WidenSpans(Spans(full, 0, 760), 3, wideFull);
  WidenSpans(Spans(decimated, 0, 760), 3, wideDecimated);
  ExpectSameSpans(wideFull, wideDecimated);
}

// A million-point line reads block summaries instead of every point; the
// picture must not change, also after a point was put before the end.
TEST(SeriesPath, BlockSummariesGiveTheSamePixels) {
  TLineSeries s;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  double y = 0;
  for (int i = 0; i < 200000; ++i) {
    y += u(rng);
    s.Add(i % 50000 == 7 ? NAN : y + 5 * u(rng));
  }
  const TAxisMap h = Horizontal(-10, 200010, 40, 690);
  const TAxisMap v = Vertical(s.YValues().MinValue(), s.YValues().MaxValue(), 30, 420);
  auto compare = [&] {
    const double *xs = s.XValues().Data(), *ys = s.YValues().Data();
    const size_t n = static_cast<size_t>(s.Count());
    std::vector<TPixelPoint> full, blocked;
    BuildSeriesPath(xs, ys, n, h, v, false, full);
    BuildSeriesPath(xs, ys, n, h, v, true, blocked, nullptr, s.YValues().Blocks());
    ASSERT_GT(s.YValues().Blocks().Count, 1000u);
    ExpectSameSpans(Spans(full, 0, 760), Spans(blocked, 0, 760));
  };
  compare();
  s.AddXY(1000.5, 1e4);  // a spike in the middle: its block and all later ones change
  compare();
}

TEST(SeriesPath, SparsePointsAreKeptAsTheyAre) {
  const auto xs = Counting(10);
  const std::vector<double> ys = {0, 5, 1, 9, 3, 3, 8, 2, 7, 4};
  std::vector<TPixelPoint> full, decimated;
  const TAxisMap h = Horizontal(0, 9, 0, 90), v = Vertical(0, 10, 0, 100);
  BuildSeriesPath(xs.data(), ys.data(), 10, h, v, false, full);
  BuildSeriesPath(xs.data(), ys.data(), 10, h, v, true, decimated);
  EXPECT_EQ(full, decimated);
  ASSERT_EQ(full.size(), 10u);
  EXPECT_EQ(full[3], (TPixelPoint{30, 10}));
}

TEST(SeriesPath, EntersFromTheLeftEdgeAfterAZoom) {
  const auto xs = Counting(10);
  std::vector<double> ys(10);
  for (int i = 0; i < 10; ++i) ys[i] = i * 10.0;
  // Axis from 2.5: the first visible point is 3, the line comes in from the
  // left end at the value between points 2 and 3.
  const TAxisMap h = Horizontal(2.5, 9, 100, 750), v = Vertical(0, 100, 0, 400);
  std::vector<TPixelPoint> path;
  BuildSeriesPath(xs.data(), ys.data(), 10, h, v, true, path);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), (TPixelPoint{100, v.Pixel(25)}));
  EXPECT_EQ(path[1], (TPixelPoint{h.Pixel(3), v.Pixel(30)}));
  EXPECT_EQ(path.back(), (TPixelPoint{h.Pixel(9), v.Pixel(90)}));  // last point is visible: no exit
  EXPECT_EQ(path.size(), 8u);
}

TEST(SeriesPath, LeavesAtTheRightEdgeAndCrossesAViewBetweenTwoSamples) {
  const auto xs = Counting(4);
  const std::vector<double> ys = {0, 10, 20, 30};
  const TAxisMap v = Vertical(0, 40, 0, 400);
  std::vector<TPixelPoint> path;
  BuildSeriesPath(xs.data(), ys.data(), 4, Horizontal(0, 1.5, 0, 300), v, true, path);
  ASSERT_EQ(path.size(), 3u);
  EXPECT_EQ(path.back(), (TPixelPoint{300, v.Pixel(15)}));
  // Zoomed in between samples 1 and 2: still a line from edge to edge.
  BuildSeriesPath(xs.data(), ys.data(), 4, Horizontal(1.25, 1.75, 0, 300), v, true, path);
  ASSERT_EQ(path.size(), 2u);
  EXPECT_EQ(path[0], (TPixelPoint{0, v.Pixel(12.5)}));
  EXPECT_EQ(path[1], (TPixelPoint{300, v.Pixel(17.5)}));
}

// A point far off the plot still pulls the line towards it: each segment is
// cut where it crosses the band, at the place the exact line crosses.
TEST(SeriesPath, SegmentsAreCutWhereTheyCrossTheBand) {
  const auto xs = Counting(3);
  const TAxisMap h = Horizontal(0, 2, 0, 200), v = Vertical(0, 40, 0, 400);
  const TClipBand band{-10, 410};
  struct Case {
    std::vector<double> ys;
    std::vector<TPixelPoint> path;
  };
  const Case cases[] = {
      // Up and back: out through the top near the first point, in near the last.
      {{10, 1e4, 30}, {{0, 300}, {0, -10}, {200, -10}, {200, 100}}},
      // A spike of 1e7 leaves almost straight up from the first point.
      {{10, 1e7, 10}, {{0, 300}, {0, -10}, {200, -10}, {200, 300}}},
      // Straight through from far above to far below: both crossings halfway.
      {{1e6, -1e6, 20}, {{50, -10}, {50, 410}, {200, 410}, {200, 200}}},
      // Wholly outside on one side: nothing but the way back in.
      {{-1e3, -2e3, 20}, {{199, 410}, {200, 200}}},
      // No value: the line joins its neighbours.
      {{10, NAN, 30}, {{0, 300}, {200, 100}}},
  };
  for (const Case &c : cases) {
    std::vector<TPixelPoint> path;
    std::vector<size_t> source;
    BuildSeriesPath(xs.data(), c.ys.data(), 3, h, v, false, path, &source, {}, band);
    ASSERT_EQ(path.size(), c.path.size()) << c.ys[1];
    for (size_t i = 0; i < path.size(); ++i) {
      EXPECT_EQ(path[i], c.path[i]) << c.ys[1] << " point " << i;
      EXPECT_LE(path[i].Y, 410);
      EXPECT_GE(path[i].Y, -10);
    }
    ASSERT_EQ(source.size(), path.size());
  }
}

TEST(Rasterize, LinesCoverConnectedRunsColumnByColumn) {
  TColumnSpans s;
  s.Reset(0, 40);
  const std::vector<TPixelPoint> pts = {{2, 10}, {12, 10}, {12, 30}, {15, 0}};
  RasterizePolyline(pts.data(), pts.size(), s);
  EXPECT_TRUE(s.Empty(1));
  EXPECT_EQ(s.Lo[5], 10);
  EXPECT_EQ(s.Hi[5], 10);
  EXPECT_EQ(s.Lo[12], 10);  // the vertical part and the start of the steep one
  EXPECT_EQ(s.Hi[12], 30);
  // Steep segment from (12, 30) to (15, 0): each column touches the next.
  for (int c = 13; c <= 15; ++c) EXPECT_LE(s.Lo[c - 1], s.Hi[c] + 1) << c;
  EXPECT_EQ(s.Lo[15], 0);
  EXPECT_TRUE(s.Empty(16));
}

TEST(Rasterize, ALonePointDrawsNothing) {
  TColumnSpans s;
  s.Reset(0, 10);
  const TPixelPoint p{5, 5};
  RasterizePolyline(&p, 1, s);
  for (int c = 0; c < 10; ++c) EXPECT_TRUE(s.Empty(c));
}

TEST(Rasterize, WideningMatchesTheRasterPenPlacement) {
  TColumnSpans thin, wide;
  thin.Reset(10, 5);
  const std::vector<TPixelPoint> pts = {{11, 20}, {13, 20}};
  RasterizePolyline(pts.data(), pts.size(), thin);
  // A 2-pixel pen covers the row above and the column before.
  WidenSpans(thin, 2, wide);
  EXPECT_EQ(wide.Left, 9);
  EXPECT_TRUE(wide.Empty(0));  // column 9
  EXPECT_EQ(wide.Lo[1], 19);   // column 10
  EXPECT_EQ(wide.Hi[1], 20);
  EXPECT_FALSE(wide.Empty(4));  // column 13
  EXPECT_TRUE(wide.Empty(5));   // column 14
  // A 3-pixel pen one either side.
  WidenSpans(thin, 3, wide);
  EXPECT_EQ(wide.Lo[1], 19);  // column 10
  EXPECT_EQ(wide.Hi[1], 21);
  EXPECT_FALSE(wide.Empty(5));  // column 14
  EXPECT_TRUE(wide.Empty(6));
}

}  // namespace
