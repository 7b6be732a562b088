#pragma once

#include "chart/axis_scale.h"

#include <cstddef>
#include <vector>

// Turning a line series' values into what reaches the screen, free of any
// widget so that it can be checked point by point.

struct TPixelPoint {
  int X = 0, Y = 0;
  bool operator==(const TPixelPoint &o) const { return X == o.X && Y == o.Y; }
};

// The rows a line may reach on the device. A segment that runs beyond them is
// cut where it crosses, so a point far off the plot (a deep zoom maps it
// millions of pixels away) still pulls the line towards it; the part beyond
// runs along the band's edge, which the caller keeps outside what is shown.
struct TClipBand {
  double Top = -1e9, Bottom = 1e9;
};

// The smallest and largest value of each run of kValueBlock values: a
// column holding thousands of points reads these instead of every point.
constexpr size_t kValueBlock = 64;
struct TValueBlocks {
  const double *Low = nullptr, *High = nullptr;
  size_t Count = 0;  // complete blocks summarised, from index 0
};

// Smallest and largest of n values, NaN skipped (both infinite when all are NaN).
void MinMax(const double *v, size_t n, double &low, double &high);

// First index whose x is at or above the axis minimum, and one past the last
// whose x is at or below the maximum (xs ascending).
size_t FirstVisibleIndex(const double *xs, size_t count, double minimum);
size_t EndVisibleIndex(const double *xs, size_t count, double maximum);

// The polyline of a series between the horizontal axis' ends: the visible
// points in index order (points without a value skipped), clipped to `band`
// geometrically, entering
// from the left end at the height interpolated from the point before the
// first visible one, and leaving at the right end the same way. With
// `decimate` each pixel column keeps only the points that change a 1-pixel
// line there: its first, lowest, highest and last point, in their order;
// the work is then bounded by the width, not by the number of points.
// `sourceIndex`, when given, receives for each output point the index of the
// point whose colour its incoming segment takes (undecimated paths only).
void BuildSeriesPath(const double *xs, const double *ys, size_t count, const TAxisMap &horiz, const TAxisMap &vert,
                     bool decimate, std::vector<TPixelPoint> &out, std::vector<size_t> *sourceIndex = nullptr,
                     const TValueBlocks &yBlocks = {}, const TClipBand &band = {});

// The pixels of a 1-pixel polyline, column by column: for each column of
// [Left, Left + Width) the rows Lo..Hi it covers (Lo > Hi: none). x must not
// decrease along the line, which holds for every series path.
struct TColumnSpans {
  int Left = 0;
  std::vector<int> Lo, Hi;

  void Reset(int left, int width);
  int Width() const { return static_cast<int>(Lo.size()); }
  bool Empty(int column) const { return Lo[column] > Hi[column]; }
};

void RasterizePolyline(const TPixelPoint *points, size_t count, TColumnSpans &spans);

// Thickens spans as a pen of `width` pixels does on the raster engine: a
// square brush from -(width / 2) to (width - 1) / 2 in both directions.
void WidenSpans(const TColumnSpans &thin, int width, TColumnSpans &wide);
