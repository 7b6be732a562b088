// The series' lines: their paths cut to the plot, and on the raster engine
// written as per-column runs instead of through a wide pen.
#include "chart/chart.h"
#include "chart/chart_detail.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace chart_detail;

void TChart::PaintOneSeries(QPainter &p, TLineSeries &s, const TAxisMap &h, const TAxisMap &v, const QRect &clip,
                            double scale) {
  const int width = std::max(1, static_cast<int>(std::lround(std::max(1, s.LinePen().Width()) * scale)));
  const bool uniform = s.UniformColor() || s.LinePen().Color().isValid();
  const double *xs = s.XValues().Data();
  const double *ys = s.YValues().Data();
  const size_t n = static_cast<size_t>(s.Count());
  // Lines are cut well beyond the clip: the cut ends and the runs along the
  // band's edge never show, and rounding a crossing to whole pixels moves
  // the visible part of its line by a thirty-second of a pixel at most.
  const double reach = 16.0 * clip.height() + 2.0 * width + 2;
  const TClipBand band{clip.top() - reach, clip.bottom() + reach};

  if (!uniform) {
    // Points of their own colours: every segment in its end point's colour.
    std::vector<size_t> index;
    BuildSeriesPath(xs, ys, n, h, v, false, path_, &index, {}, band);
    p.save();
    p.setClipRect(clip, Qt::IntersectClip);
    for (size_t i = 1; i < path_.size(); ++i) {
      p.setPen(QPen(s.ValueColor(static_cast<int>(std::min(index[i], n - 1))), width, Qt::SolidLine, Qt::SquareCap));
      p.drawLine(path_[i - 1].X, path_[i - 1].Y, path_[i].X, path_[i].Y);
    }
    p.restore();
    return;
  }

  BuildSeriesPath(xs, ys, n, h, v, decimation_, path_, nullptr, s.YValues().Blocks(), band);
  if (path_.size() < 2) return;
  const QColor color = s.LineColor();
  const bool raster = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster &&
                      p.worldTransform().type() <= QTransform::TxTranslate &&
                      !p.testRenderHint(QPainter::Antialiasing) && s.LinePen().Style() == Qt::SolidLine;
  if (!raster) {
    p.save();
    p.setClipRect(clip, Qt::IntersectClip);
    p.setPen(QPen(color, width, s.LinePen().Style(), Qt::SquareCap, Qt::BevelJoin));
    std::vector<QPoint> pts;
    pts.reserve(path_.size());
    for (const TPixelPoint &pt : path_) pts.emplace_back(pt.X, pt.Y);
    p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
    p.restore();
    return;
  }

  // On the raster engine a wide pen is about ten times dearer than a thin
  // one; the line is rasterised here as per-column runs, thickened like the
  // wide pen would, and filled as rectangles.
  spans_.Reset(clip.left() - width, clip.width() + 2 * width);
  RasterizePolyline(path_.data(), path_.size(), spans_);
  WidenSpans(spans_, width, wide_);
  QRect area = clip;
  if (QImage *img = DirectTarget(p, color, area)) {
    WriteSpans(*img, p.worldTransform(), area, color);
    return;
  }
  const int top = area.top(), bottom = area.bottom();
  int runStart = 0, runLo = 0, runHi = -1;
  bool open = false;
  auto flush = [&](int endColumn) {
    if (open) p.fillRect(QRect(runStart, runLo, endColumn - runStart, runHi - runLo + 1), color);
    open = false;
  };
  for (int c = 0; c < wide_.Width(); ++c) {
    const int x = wide_.Left + c;
    if (x < area.left() || x > area.right()) continue;
    int lo = wide_.Lo[c], hi = wide_.Hi[c];
    if (lo < top) lo = top;
    if (hi > bottom) hi = bottom;
    if (lo > hi) {
      flush(x);
      continue;
    }
    if (open && lo == runLo && hi == runHi) continue;
    flush(x);
    open = true;
    runStart = x;
    runLo = lo;
    runHi = hi;
  }
  flush(area.right() + 1);
}

// The image under the painter when the line's pixels can be written
// straight into it with the same result as filling them through the
// painter: a 32-bit image, plain opaque painting, a whole-pixel shift, and a
// clip that is one rectangle (narrowed into `area`, painter coordinates).
QImage *TChart::DirectTarget(QPainter &p, const QColor &color, QRect &area) const {
  if (!p.device() || p.device()->devType() != QInternal::Image) return nullptr;
  auto *img = static_cast<QImage *>(p.device());
  const QImage::Format f = img->format();
  if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  if (color.alpha() != 255 || p.compositionMode() != QPainter::CompositionMode_SourceOver || p.opacity() != 1.0)
    return nullptr;
  const QTransform t = p.worldTransform();
  if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
    return nullptr;
  if (p.hasClipping()) {
    const QRegion clip = p.clipRegion();
    if (clip.rectCount() != 1) return nullptr;
    area &= clip.boundingRect();
  }
  // And never outside the image.
  area &= img->rect().translated(-static_cast<int>(t.dx()), -static_cast<int>(t.dy()));
  return img;
}

void TChart::WriteSpans(QImage &img, const QTransform &t, const QRect &area, const QColor &color) {
  const int dx = static_cast<int>(t.dx()), dy = static_cast<int>(t.dy());
  const QRgb rgb = color.rgba();  // opaque: the same in every 32-bit format
  // constBits: the painter already owns this buffer; bits() could detach it
  // from under the painter.
  auto *base = const_cast<uchar *>(img.constBits());
  const qsizetype stride = img.bytesPerLine();
  for (int c = 0; c < wide_.Width(); ++c) {
    const int x = wide_.Left + c;
    if (x < area.left() || x > area.right()) continue;
    const int lo = std::max(wide_.Lo[c], area.top()), hi = std::min(wide_.Hi[c], area.bottom());
    uchar *row = base + (lo + dy) * stride + static_cast<qsizetype>(x + dx) * 4;
    for (int y = lo; y <= hi; ++y, row += stride) *reinterpret_cast<QRgb *>(row) = rgb;
  }
}

void TChart::PaintSeries(QPainter &p, const TChartLayout &l, double scale) {
  const QRect clip = Scaled(l.ChartRect, scale);
  for (auto &s : series_) {
    if (!s->Active() || s->Count() == 0) continue;
    const TAxisMap h = Scaled(l.Maps[s->HorizAxis() == aTopAxis ? apTop : apBottom], scale);
    const TAxisMap v = Scaled(l.Maps[s->VertAxis() == aRightAxis ? apRight : apLeft], scale);
    PaintOneSeries(p, *s, h, v, clip, scale);
  }
}
