#include "chart/series_path.h"

#include <algorithm>
#include <cmath>
#include <limits>

size_t FirstVisibleIndex(const double *xs, size_t count, double minimum) {
  return static_cast<size_t>(std::lower_bound(xs, xs + count, minimum) - xs);
}

size_t EndVisibleIndex(const double *xs, size_t count, double maximum) {
  return static_cast<size_t>(std::upper_bound(xs, xs + count, maximum) - xs);
}

namespace {

// The value of the line between points a and b at x (a before b).
double Interpolate(const double *xs, const double *ys, size_t a, size_t b, double x) {
  const double dx = xs[b] - xs[a];
  if (dx == 0) return ys[b];
  return ys[a] + (ys[b] - ys[a]) * (x - xs[a]) / dx;
}

// Rounds the path's points to pixels while cutting every segment where it
// leaves or enters the band. Points are fed in path order; what is outside
// is replaced by the crossings, joined along the band's edge.
class TBandClipper {
public:
  TBandClipper(const TClipBand &band, std::vector<TPixelPoint> &out, std::vector<size_t> *source)
      : top_(band.Top), bottom_(band.Bottom), out_(out), source_(source) {}

  void Add(double x, double y, size_t index) {
    // A point without a value (or beyond any scale) is left out and the line
    // joins its neighbours, as it always has.
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    const int side = Side(y);
    if (has_ && side != side_) {
      if (side_ != 0) Emit(Crossing(x, y, Edge(side_)), Edge(side_), index);  // coming in
      if (side != 0) Emit(Crossing(x, y, Edge(side)), Edge(side), index);     // going out
    }
    if (side == 0) Emit(x, y, index);
    has_ = true;
    px_ = x, py_ = y, side_ = side;
  }

private:
  int Side(double y) const { return y < top_ ? -1 : (y > bottom_ ? 1 : 0); }
  double Edge(int side) const { return side < 0 ? top_ : bottom_; }
  // Where the segment from the previous point to (x, y) meets the row `edge`.
  double Crossing(double x, double y, double edge) const { return px_ + (x - px_) * ((edge - py_) / (y - py_)); }
  void Emit(double x, double y, size_t index) {
    out_.push_back({static_cast<int>(std::round(x)), static_cast<int>(std::round(y))});
    if (source_) source_->push_back(index);
  }

  double top_, bottom_;
  std::vector<TPixelPoint> &out_;
  std::vector<size_t> *source_;
  bool has_ = false;
  double px_ = 0, py_ = 0;
  int side_ = 0;
};

// One past the last index of [from, end) whose column is `column`; columns
// never decrease with the index. The guess (the previous column's count) is
// exact for evenly spaced samples, so the common case costs two probes near
// where the next column starts; otherwise a gallop and a bisection.
size_t ColumnEnd(const double *xs, size_t from, size_t end, int column, const TAxisMap &horiz, size_t guess) {
  size_t lo = from + 1;  // every index below lo is in the column
  size_t hi = end;       // hi is out of it (or the end)
  const size_t probe = std::min(end, from + std::max<size_t>(guess, 1));
  if (probe < end && horiz.Pixel(xs[probe]) == column) {
    lo = probe + 1;
    size_t step = 1;
    hi = lo;
    while (hi < end && horiz.Pixel(xs[hi]) == column) {
      lo = hi + 1;
      hi = lo + step;
      step <<= 1;
    }
    if (hi > end) hi = end;
  } else {
    hi = probe;
    if (hi - 1 >= lo && horiz.Pixel(xs[hi - 1]) == column) return hi;
  }
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (horiz.Pixel(xs[mid]) == column) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

}  // namespace

// Four independent lanes without branches: the compiler turns them into
// vector min/max, which is what a million points per line need.
void MinMax(const double *v, size_t n, double &low, double &high) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  double lo[4] = {inf, inf, inf, inf}, hi[4] = {-inf, -inf, -inf, -inf};
  size_t k = 0;
  for (; k + 4 <= n; k += 4)
    for (int l = 0; l < 4; ++l) {
      const double x = v[k + l];
      lo[l] = x < lo[l] ? x : lo[l];
      hi[l] = x > hi[l] ? x : hi[l];
    }
  for (; k < n; ++k) {
    lo[0] = v[k] < lo[0] ? v[k] : lo[0];
    hi[0] = v[k] > hi[0] ? v[k] : hi[0];
  }
  low = std::min(std::min(lo[0], lo[1]), std::min(lo[2], lo[3]));
  high = std::max(std::max(hi[0], hi[1]), std::max(hi[2], hi[3]));
}

namespace {

// The extremes of ys[from, to) and where they first occur, reading the block
// summaries for the blocks wholly inside the run.
void ColumnExtremes(const double *ys, size_t from, size_t to, const TValueBlocks &blocks, double &lowV, double &highV,
                    size_t &low, size_t &high) {
  size_t b0 = (from + kValueBlock - 1) / kValueBlock, b1 = to / kValueBlock;
  if (b1 > blocks.Count) b1 = blocks.Count;
  if (b1 < b0 + 2) {  // too short to gain anything
    b0 = b1 = 0;
  }
  const size_t headEnd = b1 > b0 ? b0 * kValueBlock : to;
  const size_t tailStart = b1 > b0 ? b1 * kValueBlock : to;
  MinMax(ys + from, headEnd - from, lowV, highV);
  if (b1 > b0) {
    double l, h;
    MinMax(ys + tailStart, to - tailStart, l, h);
    lowV = std::min(lowV, l);
    highV = std::max(highV, h);
    MinMax(blocks.Low + b0, b1 - b0, l, h);  // block lows: their minimum
    lowV = std::min(lowV, l);
    MinMax(blocks.High + b0, b1 - b0, l, h);
    highV = std::max(highV, h);
  }
  low = high = to;
  auto scan = [&](size_t a, size_t b) {
    for (size_t k = a; k < b && (low == to || high == to); ++k) {
      if (low == to && ys[k] == lowV) low = k;
      if (high == to && ys[k] == highV) high = k;
    }
  };
  scan(from, headEnd);
  for (size_t b = b0; b < b1 && (low == to || high == to); ++b) {
    const bool hasLow = low == to && blocks.Low[b] == lowV;
    const bool hasHigh = high == to && blocks.High[b] == highV;
    if (hasLow || hasHigh) scan(b * kValueBlock, (b + 1) * kValueBlock);
  }
  scan(tailStart, to);
}

// First, last, lowest and highest point of a column that has values
// missing, found by reading every point; `first` is `to` when none has one.
void ColumnPointsSlowly(const double *ys, size_t from, size_t to, size_t keep[4]) {
  size_t first = to, last = to, low = to, high = to;
  for (size_t i = from; i < to; ++i) {
    if (std::isnan(ys[i])) continue;
    if (first == to) first = low = high = i;
    last = i;
    if (ys[i] < ys[low]) low = i;
    if (ys[i] > ys[high]) high = i;
  }
  keep[0] = first, keep[1] = std::min(low, high), keep[2] = std::max(low, high), keep[3] = last;
}

void DecimateColumns(const double *xs, const double *ys, size_t first, size_t end, const TAxisMap &horiz,
                     const TAxisMap &vert, const TValueBlocks &blocks, TBandClipper &clip) {
  size_t i = first;
  size_t guess = 1;
  while (i < end) {
    const int column = horiz.Pixel(xs[i]);
    const size_t j = ColumnEnd(xs, i, end, column, horiz, guess);
    guess = j - i;
    if (j - i <= 4) {
      for (size_t k = i; k < j; ++k) clip.Add(column, vert.Position(ys[k]), k);
      i = j;
      continue;
    }
    // The extremes in value are the extremes in position (the map is
    // monotonic), so only four points of the column need mapping. Within
    // one column the line only runs up and down, so these four cover every
    // pixel the others would, clipped or not.
    double lowV, highV;
    size_t low, high;
    ColumnExtremes(ys, i, j, blocks, lowV, highV, low, high);
    size_t keep[4] = {i, std::min(low, high), std::max(low, high), j - 1};
    if (low == j || high == j || std::isnan(ys[i]) || std::isnan(ys[j - 1])) ColumnPointsSlowly(ys, i, j, keep);
    size_t previous = j;
    for (size_t k : keep) {
      if (k == previous || k == j) continue;
      previous = k;
      clip.Add(column, vert.Position(ys[k]), k);
    }
    i = j;
  }
}

}  // namespace

void BuildSeriesPath(const double *xs, const double *ys, size_t count, const TAxisMap &horiz, const TAxisMap &vert,
                     bool decimate, std::vector<TPixelPoint> &out, std::vector<size_t> *sourceIndex,
                     const TValueBlocks &yBlocks, const TClipBand &band) {
  out.clear();
  if (sourceIndex) {
    sourceIndex->clear();
    decimate = false;
  }
  if (count == 0) return;
  TBandClipper clip(band, out, sourceIndex);
  const size_t first = FirstVisibleIndex(xs, count, horiz.Minimum);
  const size_t end = EndVisibleIndex(xs, count, horiz.Maximum);

  // Entry from the left end when points lie before the visible ones.
  if (first > 0 && first < count)
    clip.Add(horiz.StartPos, vert.Position(Interpolate(xs, ys, first - 1, first, horiz.Minimum)), first);

  if (first < end) {
    if (decimate) {
      DecimateColumns(xs, ys, first, end, horiz, vert, yBlocks, clip);
    } else {
      for (size_t i = first; i < end; ++i) clip.Add(horiz.Pixel(xs[i]), vert.Position(ys[i]), i);
    }
  }

  // Leaving at the right end: without it a zoomed line would stop short of
  // the edge as if the data ended there.
  if (end > 0 && end < count && end >= first)
    clip.Add(horiz.EndPos, vert.Position(Interpolate(xs, ys, end - 1, end, horiz.Maximum)), end);
}

void TColumnSpans::Reset(int left, int width) {
  Left = left;
  if (width < 0) width = 0;
  Lo.assign(static_cast<size_t>(width), std::numeric_limits<int>::max());
  Hi.assign(static_cast<size_t>(width), std::numeric_limits<int>::min());
}

namespace {

inline void Cover(TColumnSpans &s, int x, int y0, int y1) {
  const int c = x - s.Left;
  if (c < 0 || c >= s.Width()) return;
  if (y0 > y1) std::swap(y0, y1);
  if (y0 < s.Lo[c]) s.Lo[c] = y0;
  if (y1 > s.Hi[c]) s.Hi[c] = y1;
}

inline int RoundHalfUp(double v) { return static_cast<int>(std::floor(v + 0.5)); }

void RasterizeSegment(const TPixelPoint &a, const TPixelPoint &b, TColumnSpans &s) {
  const int dx = b.X - a.X;
  const int dy = b.Y - a.Y;
  if (dx <= 0) {  // vertical (x never decreases along a series)
    Cover(s, b.X, a.Y, b.Y);
    if (dx < 0) Cover(s, a.X, a.Y, a.Y);
    return;
  }
  // Only the columns inside the spans matter, however long the segment.
  const int from = std::max(a.X, s.Left);
  const int to = std::min(b.X, s.Left + s.Width() - 1);
  const double slope = static_cast<double>(dy) / dx;
  if (std::abs(dy) <= dx) {
    for (int x = from; x <= to; ++x) {
      const int y = x == b.X ? b.Y : RoundHalfUp(a.Y + slope * (x - a.X));
      Cover(s, x, y, y);
    }
    return;
  }
  // Steep: each column takes the rows the line crosses within half a pixel
  // either side of it; neighbours share the boundary row, so the run stays
  // connected.
  for (int x = from; x <= to; ++x) {
    const double left = std::max(x - 0.5, static_cast<double>(a.X));
    const double right = std::min(x + 0.5, static_cast<double>(b.X));
    const int y0 = x == a.X ? a.Y : RoundHalfUp(a.Y + slope * (left - a.X));
    const int y1 = x == b.X ? b.Y : RoundHalfUp(a.Y + slope * (right - a.X));
    Cover(s, x, y0, y1);
  }
}

}  // namespace

void RasterizePolyline(const TPixelPoint *points, size_t count, TColumnSpans &spans) {
  if (count == 1) {
    // A lone point draws no line.
    return;
  }
  for (size_t i = 1; i < count; ++i) RasterizeSegment(points[i - 1], points[i], spans);
}

void WidenSpans(const TColumnSpans &thin, int width, TColumnSpans &wide) {
  if (width < 1) width = 1;
  const int before = width / 2;       // extra pixels up and to the left
  const int after = (width - 1) / 2;  // down and to the right
  wide.Reset(thin.Left - before, thin.Width() + before + after);
  for (int c = 0; c < thin.Width(); ++c) {
    if (thin.Empty(c)) continue;
    const int lo = thin.Lo[c] - before, hi = thin.Hi[c] + after;
    // thin column c lands on wide columns c .. c + before + after
    for (int k = 0; k <= before + after; ++k) {
      const int w = c + k;
      if (lo < wide.Lo[w]) wide.Lo[w] = lo;
      if (hi > wide.Hi[w]) wide.Hi[w] = hi;
    }
  }
}
