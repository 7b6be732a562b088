// The shaded bands behind the series: drawn as rectangles and lines in the
// chart's own coordinates, so a printed or PDF page gets them as shapes at
// its own resolution, never as a picture.
#include "chart/chart.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

void TChart::SetBands(std::vector<TChartBand> bands) {
  bands_ = std::move(bands);
  Invalidate();
}

void TChart::PaintBands(QPainter &p, const TChartLayout &l, bool edges) const {
  if (bands_.empty() || !axes_[apLeft]->Visible()) return;
  const TAxisMap &m = l.Maps[apLeft];
  const QRectF inside(l.ChartRect);
  // A value's height on the chart, held just outside the chart rectangle
  // when it lies beyond the axis, so an open end reaches the edge.
  auto y = [&](double v) {
    if (v == HUGE_VAL) return inside.top() - 1;
    if (v == -HUGE_VAL) return inside.bottom() + 1;
    return std::clamp(m.Position(v), inside.top() - 1, inside.bottom() + 1);
  };
  p.save();
  p.setClipRect(l.ChartRect, Qt::IntersectClip);
  for (const TChartBand &b : bands_) {
    if (!(b.Low <= b.High)) continue;
    const double top = y(b.High), bottom = y(b.Low);
    if (!edges) {
      if (b.Fill.isValid() && bottom > top)
        p.fillRect(QRectF(inside.left(), top, inside.width(), bottom - top), b.Fill);
      continue;
    }
    if (!b.Edge.isValid()) continue;
    p.setPen(QPen(b.Edge, 1, b.EdgeStyle));
    for (double edge : {b.Low, b.High}) {
      if (!std::isfinite(edge) || edge < m.Minimum || edge > m.Maximum) continue;
      // On whole pixels, as the grid lines are: a limit on a grid value
      // covers its grid line.
      const int at = m.Pixel(edge);
      p.drawLine(l.ChartRect.left(), at, l.ChartRect.right(), at);
    }
  }
  p.restore();
}
