#include "chart/chart.h"

#include "runtime/application.h"
#include "runtime/form_font.h"
#include "widgets/ins_colors.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace {

int TextWidth(const QFontMetrics &fm, const QString &s) { return fm.horizontalAdvance(s); }

QString Q(const std::string &s) { return QString::fromStdString(s); }

// Space between labels, ticks and titles.
constexpr int kGap = 2;

void Frame3D(QPainter &p, QRect &r, const QColor &topLeft, const QColor &bottomRight, int width) {
  for (int i = 0; i < width && r.width() > 1 && r.height() > 1; ++i) {
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    r.adjust(1, 1, -1, -1);
  }
}

void Bevel(QPainter &p, QRect &r, TPanelBevel bevel, int width) {
  if (bevel == bvNone) return;
  const QColor hi = clBtnHighlight(), lo = clBtnShadow();
  if (bevel == bvRaised) Frame3D(p, r, hi, lo, width);
  else Frame3D(p, r, lo, hi, width);
}

TAxisMap Scaled(const TAxisMap &m, double scale) {
  if (scale == 1.0) return m;
  TAxisMap d = m;
  d.StartPos = static_cast<int>(std::lround(m.StartPos * scale));
  d.EndPos = static_cast<int>(std::lround(m.EndPos * scale));
  return d;
}

QRect Scaled(const QRect &r, double scale) {
  if (scale == 1.0) return r;
  const int l = static_cast<int>(std::lround(r.left() * scale));
  const int t = static_cast<int>(std::lround(r.top() * scale));
  const int rr = static_cast<int>(std::lround((r.right() + 1) * scale)) - 1;
  const int b = static_cast<int>(std::lround((r.bottom() + 1) * scale)) - 1;
  return QRect(QPoint(l, t), QPoint(rr, b));
}

}  // namespace

QFont PixelFont(QFont f) {
  if (f.pointSizeF() > 0) f.setPixelSize(std::max(1, FormPixels(static_cast<int>(std::lround(f.pointSizeF())))));
  return f;
}

TChart::TChart(QWidget *parent)
    : QWidget(parent),
      color_(clBtnFace()),
      gradient_(this),
      backWall_(this),
      title_(this, QFont("Arial", 8), QColor(0, 0, 255)),
      foot_(this, QFont("Arial", 8, -1, true), QColor(255, 0, 0)),
      legend_(this) {
  for (int p = 0; p < 4; ++p) axes_[p] = std::make_unique<TChartAxis>(this, static_cast<TAxisPlace>(p));
  // The picture comes from our own cache; nothing underneath needs painting.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(400, 250);
}

TChart::~TChart() { destroying_ = true; }

void TChart::Invalidate() {
  layoutValid_ = false;
  cacheValid_ = false;
  if (!destroying_) update();
}

void TChart::SetColor(QColor c) {
  if (c == color_) return;
  color_ = c;
  Invalidate();
}

void TChart::SetBevelInner(TPanelBevel b) {
  if (b == bevelInner_) return;
  bevelInner_ = b;
  Invalidate();
}

void TChart::SetBevelOuter(TPanelBevel b) {
  if (b == bevelOuter_) return;
  bevelOuter_ = b;
  Invalidate();
}

void TChart::SetBevelWidth(int w) {
  w = std::max(0, w);
  if (w == bevelWidth_) return;
  bevelWidth_ = w;
  Invalidate();
}

void TChart::SetBorderWidth(int w) {
  w = std::max(0, w);
  if (w == borderWidth_) return;
  borderWidth_ = w;
  Invalidate();
}

void TChart::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  Invalidate();
}

void TChart::SetMargin(int side, int v) {
  v = std::clamp(v, 0, 45);
  if (margins_[side] == v) return;
  margins_[side] = v;
  Invalidate();
}

void TChart::SetDecimation(bool v) {
  if (v == decimation_) return;
  decimation_ = v;
  Invalidate();
}

void TChart::SetPrintResolution(int v) { printResolution_ = std::clamp(v, -100, 0); }

TLineSeries &TChart::AddSeries() {
  series_.push_back(std::make_unique<TLineSeries>(this));
  Invalidate();
  return *series_.back();
}

// ---------------------------------------------------------------- layout

void TChart::CalcRanges(double minimum[4], double maximum[4]) {
  for (int p = 0; p < 4; ++p) {
    TChartAxis &axis = *axes_[p];
    const bool horiz = axis.Horizontal();
    auto usesAxis = [&](const TLineSeries &s) {
      if (horiz) return (s.HorizAxis() == aTopAxis) == (p == apTop);
      return (s.VertAxis() == aRightAxis) == (p == apRight);
    };
    bool anyActive = false;
    for (auto &s : series_)
      if (usesAxis(*s) && s->Active()) anyActive = true;
    double lo = 0, hi = 0;
    bool found = false;
    for (auto &s : series_) {
      if (!usesAxis(*s) || (anyActive && !s->Active())) continue;
      const TChartValueList &list = horiz ? s->XValues() : s->YValues();
      if (!list.HasRange()) continue;
      if (!found) {
        lo = list.MinValue();
        hi = list.MaxValue();
        found = true;
      } else {
        lo = std::min(lo, list.MinValue());
        hi = std::max(hi, list.MaxValue());
      }
    }
    minimum[p] = axis.Automatic() || axis.AutomaticMinimum() ? lo : axis.Minimum();
    maximum[p] = axis.Automatic() || axis.AutomaticMaximum() ? hi : axis.Maximum();
  }
}

int TChart::FrameWidth() const {
  int w = borderStyle_ == bsSingle ? 1 : 0;
  if (bevelOuter_ != bvNone) w += bevelWidth_;
  w += borderWidth_;
  if (bevelInner_ != bvNone) w += bevelWidth_;
  return w;
}

TChartLayout TChart::Layout(const QRect &bounds) {
  TChartLayout l;
  l.Bounds = bounds;
  const int fw = FrameWidth();
  const QRect inner = bounds.adjusted(fw, fw, -fw, -fw);
  QRect r = inner.adjusted(inner.width() * margins_[0] / 100, inner.height() * margins_[1] / 100,
                           -inner.width() * margins_[2] / 100, -inner.height() * margins_[3] / 100);

  auto titleBlock = [&](TChartTitle &t, bool top, QRect &out) {
    if (!t.Visible() || t.Text().isEmpty()) return;
    const QFontMetrics fm(PixelFont(t.Font()));
    const int h = fm.height() * static_cast<int>(t.Text().size());
    if (top) {
      out = QRect(r.left(), r.top(), r.width(), h);
      r.setTop(r.top() + h + 2 * kGap);
    } else {
      out = QRect(r.left(), r.bottom() - h + 1, r.width(), h);
      r.setBottom(r.bottom() - h - 2 * kGap);
    }
  };
  titleBlock(title_, true, l.TitleRect);
  titleBlock(foot_, false, l.FootRect);
  PlaceLegend(r, l);

  double mn[4], mx[4];
  CalcRanges(mn, mx);

  auto titleDepth = [](const TChartAxis &a) {
    if (a.Title().Caption().isEmpty() || !a.Title().Visible()) return 0;
    return QFontMetrics(PixelFont(a.Title().Font())).height() + kGap;
  };
  auto showsLabels = [](const TChartAxis &a) { return a.Labels() && a.LabelStyle() != talNone; };
  auto labelHeight = [&](const TChartAxis &a) {
    return showsLabels(a) ? QFontMetrics(PixelFont(a.LabelsFont())).height() + kGap : 0;
  };

  // Horizontal axes first: their depth depends only on the fonts.
  int depth[4] = {0, 0, 0, 0};
  for (TAxisPlace p : {apBottom, apTop}) {
    const TChartAxis &a = *axes_[p];
    if (!a.Visible()) continue;
    depth[p] = a.Ticks().Length() + labelHeight(a) + titleDepth(a);
    if (p == apBottom) r.setBottom(r.bottom() - depth[p]);
    else r.setTop(r.top() + depth[p]);
  }

  auto span = [](int from, int length, double startPct, double endPct, TAxisMap &m) {
    const int size = std::max(0, length - 1);
    m.StartPos = from + static_cast<int>(std::lround(size * startPct / 100.0));
    m.EndPos = from + static_cast<int>(std::lround(size * endPct / 100.0));
    if (m.EndPos < m.StartPos) std::swap(m.StartPos, m.EndPos);
  };
  auto ticksFor = [&](TAxisPlace p, const TAxisMap &m) {
    const TChartAxis &a = *axes_[p];
    const QFontMetrics fm(PixelFont(a.LabelsFont()));
    if (a.LabelSource())
      return a.LabelSource()(m.Minimum, m.Maximum, m.Size(), a.LabelsSeparation(),
                             [&fm](const std::string &text) { return TextWidth(fm, Q(text)); });
    const int size = a.Horizontal()
                         ? std::max(TextWidth(fm, Q(a.LabelText(m.Minimum))), TextWidth(fm, Q(a.LabelText(m.Maximum))))
                         : fm.height();
    return CalcAxisTicks(m.Minimum, m.Maximum, m.Size(), size, a.LabelsSeparation(), a.Increment());
  };

  // Vertical axes: now that their length is known, their labels (and so
  // their width) are too.
  for (TAxisPlace p : {apLeft, apRight}) {
    TChartAxis &a = *axes_[p];
    TAxisMap &m = l.Maps[p];
    m.Horizontal = false;
    m.Minimum = mn[p];
    m.Maximum = mx[p];
    span(r.top(), r.height(), a.StartPosition(), a.EndPosition(), m);
    if (!a.Visible()) continue;
    l.Ticks[p] = ticksFor(p, m);
    int labelWidth = 0;
    if (showsLabels(a)) {
      const QFontMetrics fm(PixelFont(a.LabelsFont()));
      const TAxisTicks &t = l.Ticks[p];
      for (size_t i = 0; i < t.Values.size(); ++i)
        labelWidth = std::max(labelWidth, TextWidth(fm, Q(t.Texts.empty() ? a.LabelText(t.Values[i]) : t.Texts[i])));
      labelWidth += kGap;
    }
    depth[p] = a.Ticks().Length() + labelWidth + titleDepth(a);
    if (p == apLeft) r.setLeft(r.left() + depth[p]);
    else r.setRight(r.right() - depth[p]);
  }
  for (TAxisPlace p : {apBottom, apTop}) {
    TChartAxis &a = *axes_[p];
    TAxisMap &m = l.Maps[p];
    m.Horizontal = true;
    m.Minimum = mn[p];
    m.Maximum = mx[p];
    span(r.left(), r.width(), a.StartPosition(), a.EndPosition(), m);
    if (a.Visible()) l.Ticks[p] = ticksFor(p, m);
  }
  l.ChartRect = r;
  l.AxisRects[apLeft] = QRect(r.left() - depth[apLeft], r.top(), depth[apLeft], r.height());
  l.AxisRects[apRight] = QRect(r.right() + 1, r.top(), depth[apRight], r.height());
  l.AxisRects[apBottom] = QRect(r.left(), r.bottom() + 1, r.width(), depth[apBottom]);
  l.AxisRects[apTop] = QRect(r.left(), r.top() - depth[apTop], r.width(), depth[apTop]);
  return l;
}

const TChartLayout &TChart::ScreenLayout() {
  if (!layoutValid_) {
    screen_ = Layout(QRect(0, 0, width(), height()));
    for (int p = 0; p < 4; ++p) axes_[p]->SetMap(screen_.Maps[p]);
    layoutValid_ = true;
  }
  return screen_;
}

// ---------------------------------------------------------------- painting

QPen TChart::MakePen(const TChartPen &pen) const {
  QPen qp(pen.Color(), pen.Width(), pen.Style(), Qt::SquareCap, Qt::MiterJoin);
  if (printing_ && pen.Width() <= 1 && pen.Style() != Qt::SolidLine) qp.setWidth(0);  // the device's thinnest line
  return qp;
}

void TChart::PaintPanel(QPainter &p, const TChartLayout &l) {
  const QRect b = l.Bounds;
  if (gradient_.Visible()) {
    const QColor a = gradient_.StartColor(), z = gradient_.EndColor();
    QGradient *g = nullptr;
    QLinearGradient lin;
    QRadialGradient rad(QPointF(b.center()) + QPointF(0.5, 0.5), std::max(b.width(), b.height()) / 2.0);
    switch (gradient_.Direction()) {
      case gdTopBottom: lin = QLinearGradient(b.topLeft(), b.bottomLeft()); break;
      case gdBottomTop: lin = QLinearGradient(b.bottomLeft(), b.topLeft()); break;
      case gdLeftRight: lin = QLinearGradient(b.topLeft(), b.topRight()); break;
      case gdRightLeft: lin = QLinearGradient(b.topRight(), b.topLeft()); break;
      case gdFromTopLeft: lin = QLinearGradient(b.topLeft(), b.bottomRight()); break;
      case gdFromBottomLeft: lin = QLinearGradient(b.bottomLeft(), b.topRight()); break;
      case gdFromCenter: break;
    }
    if (gradient_.Direction() == gdFromCenter) {
      // From the end colour at the rim to the start colour in the middle.
      rad.setColorAt(0, z);
      rad.setColorAt(1, a);
      g = &rad;
    } else {
      lin.setColorAt(0, a);
      lin.setColorAt(1, z);
      g = &lin;
    }
    p.fillRect(b, QBrush(*g));
  } else {
    p.fillRect(b, color_);
  }
  QRect r = b;
  if (borderStyle_ == bsSingle) Frame3D(p, r, Qt::black, Qt::black, 1);
  Bevel(p, r, bevelOuter_, bevelWidth_);
  Frame3D(p, r, color_, color_, borderWidth_);
  Bevel(p, r, bevelInner_, bevelWidth_);
}

void TChart::PaintTitles(QPainter &p, const TChartLayout &l) {
  auto block = [&](TChartTitle &t, const QRect &rect) {
    if (rect.isEmpty()) return;
    const QFont f = PixelFont(t.Font());
    const QFontMetrics fm(f);
    p.setFont(f);
    p.setPen(t.FontColor());
    int y = rect.top();
    for (const QString &line : t.Text()) {
      p.drawText(QRect(rect.left(), y, rect.width(), fm.height()), int(t.Alignment() | Qt::AlignVCenter), line);
      y += fm.height();
    }
  };
  block(title_, l.TitleRect);
  block(foot_, l.FootRect);
}

void TChart::PaintAxis(QPainter &p, const TChartLayout &l, TAxisPlace place) {
  TChartAxis &a = *axes_[place];
  if (!a.Visible()) return;
  const TAxisMap &m = l.Maps[place];
  const QRect &r = l.ChartRect;
  const bool horiz = a.Horizontal();
  const int dir = a.OtherSide() ? -1 : 1;  // away from the chart rectangle
  // The edge the axis runs along, just outside the chart rectangle.
  const int edge = place == apLeft ? r.left() - 1 : place == apRight ? r.right() + 1
                                                   : place == apBottom ? r.bottom() + 1 : r.top() - 1;
  const int len = a.Ticks().Length();

  // Axis title, outermost.
  const QRect strip = l.AxisRects[place];
  if (a.Title().Visible() && !a.Title().Caption().isEmpty()) {
    const QFont f = PixelFont(a.Title().Font());
    const QFontMetrics fm(f);
    p.save();
    p.setFont(f);
    p.setPen(a.Title().FontColor());
    if (horiz) {
      const int y = place == apBottom ? strip.bottom() - fm.height() + 1 : strip.top();
      p.drawText(QRect(m.StartPos, y, m.Size() + 1, fm.height()), Qt::AlignCenter, a.Title().Caption());
    } else {
      const int x = place == apLeft ? strip.left() : strip.right() - fm.height() + 1;
      const int cy = (m.StartPos + m.EndPos + 1) / 2;
      p.translate(x + fm.height() / 2.0, cy);
      p.rotate(-a.Title().Angle());
      const int w = fm.horizontalAdvance(a.Title().Caption()) + 2;
      p.drawText(QRectF(-w / 2.0, -fm.height() / 2.0, w, fm.height()), Qt::AlignCenter, a.Title().Caption());
    }
    p.restore();
  }

  const TAxisTicks &ticks = l.Ticks[place];
  // Labels.
  if (a.Labels() && a.LabelStyle() != talNone) {
    const QFont f = PixelFont(a.LabelsFont());
    const QFontMetrics fm(f);
    p.setFont(f);
    p.setPen(a.LabelsFontColor());
    auto drawLabel = [&](double v, const QString &text) {
      const int pos = m.Pixel(v);
      if (horiz) {
        const int w = TextWidth(fm, text);
        const int y = place == apBottom ? edge + len + kGap : edge - len - kGap - fm.height();
        p.drawText(QRect(pos - w / 2, y, w + 1, fm.height()), Qt::AlignCenter, text);
      } else {
        const int y = pos - fm.height() / 2;
        if (place == apLeft)
          p.drawText(QRect(strip.left(), y, edge - len - kGap - strip.left(), fm.height()),
                     Qt::AlignRight | Qt::AlignVCenter, text);
        else
          p.drawText(QRect(edge + len + kGap, y, strip.right() - edge, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     text);
      }
    };
    const bool textLabels = a.LabelStyle() == talText || a.LabelStyle() == talMark;
    if (textLabels && horiz) {
      // The point labels of the first shown series on this axis.
      for (auto &s : series_) {
        if (!s->Active() || (s->HorizAxis() == aTopAxis) != (place == apTop)) continue;
        for (int i = 0; i < s->Count(); ++i) {
          const double x = s->XValues()[i];
          if (x < m.Minimum || x > m.Maximum) continue;
          const QString text = s->ValueLabel(i);
          if (!text.isEmpty()) drawLabel(x, text);
        }
        break;
      }
    } else {
      for (size_t i = 0; i < ticks.Values.size(); ++i)
        drawLabel(ticks.Values[i], Q(ticks.Texts.empty() ? a.LabelText(ticks.Values[i]) : ticks.Texts[i]));
    }
  }

  // Axis line and ticks.
  auto tick = [&](double v, int length) {
    const int pos = m.Pixel(v);
    if (horiz) p.drawLine(pos, edge, pos, edge + dir * length);
    else p.drawLine(edge, pos, edge - dir * length, pos);
  };
  if (a.Ticks().Visible() && len > 0) {
    p.setPen(MakePen(a.Ticks()));
    for (double v : ticks.Values) tick(v, len);
  }
  if (a.MinorTicks().Visible() && a.MinorTicks().Length() > 0) {
    p.setPen(MakePen(a.MinorTicks()));
    for (double v : MinorTickValues(ticks, m.Minimum, m.Maximum, a.MinorTicks().Count()))
      tick(v, a.MinorTicks().Length());
  }
  if (a.AxisPen().Visible()) {
    p.setPen(MakePen(a.AxisPen()));
    if (horiz) p.drawLine(m.StartPos, edge, m.EndPos, edge);
    else p.drawLine(edge, m.StartPos, edge, m.EndPos);
  }
}

void TChart::PaintGrid(QPainter &p, const TChartLayout &l, TAxisPlace place) {
  TChartAxis &a = *axes_[place];
  if (!a.Visible()) return;
  const TAxisMap &m = l.Maps[place];
  const QRect &r = l.ChartRect;
  auto lines = [&](const std::vector<double> &values) {
    for (double v : values) {
      const int pos = m.Pixel(v);
      if (a.Horizontal()) {
        if (pos > r.left() && pos < r.right()) p.drawLine(pos, r.top(), pos, r.bottom());
      } else if (pos > r.top() && pos < r.bottom()) {
        p.drawLine(r.left(), pos, r.right(), pos);
      }
    }
  };
  if (a.MinorGrid().Visible()) {
    p.setPen(MakePen(a.MinorGrid()));
    lines(MinorTickValues(l.Ticks[place], m.Minimum, m.Maximum, a.MinorTicks().Count()));
  }
  if (a.Grid().Visible()) {
    p.setPen(MakePen(a.Grid()));
    lines(l.Ticks[place].Values);
  }
}

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

void TChart::PaintAll(QPainter &painter, const TChartLayout &l, double scale) {
  const QTransform deviceBase = painter.worldTransform();
  if (scale != 1.0) painter.scale(scale, scale);
  painter.setClipRect(l.Bounds, Qt::IntersectClip);
  PaintPanel(painter, l);
  PaintTitles(painter, l);
  for (TAxisPlace place : {apLeft, apTop, apRight, apBottom}) PaintAxis(painter, l, place);
  // The back wall.
  if (backWall_.BrushStyle() != Qt::NoBrush)
    painter.fillRect(l.ChartRect, QBrush(backWall_.Color(), backWall_.BrushStyle()));
  if (backWall_.Pen().Visible()) {
    painter.setPen(MakePen(backWall_.Pen()));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(l.ChartRect.adjusted(0, 0, -1, -1));
  }
  for (TAxisPlace place : {apLeft, apTop, apRight, apBottom}) PaintGrid(painter, l, place);
  // The series in device pixels, so that the per-column work follows the
  // resolution of whatever is being painted.
  painter.setWorldTransform(deviceBase);
  PaintSeries(painter, l, scale);
  // Markers, marks and the legend lie over the lines.
  if (scale != 1.0) painter.scale(scale, scale);
  PaintPointersAndMarks(painter, l);
  PaintLegend(painter, l);
  painter.setWorldTransform(deviceBase);
}

void TChart::Draw(QPainter &painter, const QRect &rect, double scale) {
  if (!(scale > 0)) scale = 1.0;
  const QRect logical(0, 0, static_cast<int>(std::lround(rect.width() / scale)),
                      static_cast<int>(std::lround(rect.height() / scale)));
  const TChartLayout l = Layout(logical);
  painter.save();
  painter.translate(rect.topLeft());
  PaintAll(painter, l, scale);
  painter.restore();
}

QImage TChart::RenderImage() {
  QImage img(size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  Draw(p, img.rect(), 1.0);
  return img;
}

void TChart::CopyToClipboardBitmap() { QGuiApplication::clipboard()->setImage(RenderImage()); }

void TChart::RenderCache() {
  const TChartLayout &l = ScreenLayout();
  // On a high-density screen the picture is drawn at the screen's own
  // resolution (the layout stays in widget pixels, like the mouse).
  const double dpr = devicePixelRatioF();
  const QSize pixels(static_cast<int>(std::lround(width() * dpr)), static_cast<int>(std::lround(height() * dpr)));
  if (cache_.size() != pixels) cache_ = QImage(pixels, QImage::Format_RGB32);
  cache_.setDevicePixelRatio(1.0);  // painted in device pixels
  cache_.fill(Qt::white);
  {
    QPainter p(&cache_);
    PaintAll(p, l, dpr);
  }
  cache_.setDevicePixelRatio(dpr);
  cacheValid_ = true;
}

QRect TChart::ZoomBand() const {
  return QRect(QPoint(std::min(zoom_.X0, zoom_.X1), std::min(zoom_.Y0, zoom_.Y1)),
               QPoint(std::max(zoom_.X0, zoom_.X1), std::max(zoom_.Y0, zoom_.Y1)));
}

void TChart::paintEvent(QPaintEvent *) {
  if (!cacheValid_ || cache_.deviceIndependentSize().toSize() != size()) RenderCache();
  QPainter p(this);
  p.drawImage(0, 0, cache_);
  PaintCursor(p);
  if (zoom_.Active) {
    // The band is drawn over the cached picture; the series are not redrawn.
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    p.setPen(QPen(color_ == QColor(Qt::white) ? QColor(Qt::black) : color_, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(ZoomBand());
  }
}

void TChart::resizeEvent(QResizeEvent *) { Invalidate(); }

// ---------------------------------------------------------------- zoom and pan

void TChart::SaveScales() {
  if (!restored_) return;
  for (int p = 0; p < 4; ++p) {
    const TChartAxis &a = *axes_[p];
    saved_[p] = {a.Automatic(), a.AutomaticMinimum(), a.AutomaticMaximum(), a.Minimum(), a.Maximum()};
  }
  restored_ = false;
}

void TChart::ZoomRect(const QRect &rect) {
  const QRect r = rect.normalized();
  ScreenLayout();
  double lo[4], hi[4];
  for (int p = 0; p < 4; ++p) {
    const TChartAxis &a = *axes_[p];
    if (a.Horizontal()) {
      lo[p] = a.CalcPosPoint(r.left());
      hi[p] = a.CalcPosPoint(r.right());
    } else {
      lo[p] = a.CalcPosPoint(r.bottom());
      hi[p] = a.CalcPosPoint(r.top());
    }
  }
  SaveScales();
  if (animatedZoom_) {
    double curLo[4], curHi[4];
    for (int p = 0; p < 4; ++p) curLo[p] = axes_[p]->IMinimum(), curHi[p] = axes_[p]->IMaximum();
    for (int step = 1; step < animatedZoomSteps_; ++step) {
      for (int p = 0; p < 4; ++p) {
        curLo[p] += (lo[p] - curLo[p]) / 3;
        curHi[p] += (hi[p] - curHi[p]) / 3;
        axes_[p]->SetMinMax(curLo[p], curHi[p]);
      }
      repaint();
    }
  }
  for (int p = 0; p < 4; ++p) axes_[p]->SetMinMax(lo[p], hi[p]);
  zoomed_ = true;
  Invalidate();
  if (OnZoom) OnZoom(*this);
}

void TChart::UndoZoom() {
  if (!restored_) {
    for (int p = 0; p < 4; ++p) {
      TChartAxis &a = *axes_[p];
      a.SetAutomatic(saved_[p].Automatic);
      a.SetAutomaticMinimum(saved_[p].AutomaticMinimum);
      a.SetAutomaticMaximum(saved_[p].AutomaticMaximum);
      a.SetMinimum(saved_[p].Minimum);
      a.SetMaximum(saved_[p].Maximum);
    }
    restored_ = true;
  }
  if (OnUndoZoom) OnUndoZoom(*this);
  Invalidate();
  zoomed_ = false;
}

bool TChart::PressAllowed(const QPoint &at) {
  const TChartLayout &l = ScreenLayout();
  if (l.ChartRect.contains(at)) return true;
  for (int p = 0; p < 4; ++p)
    if (axes_[p]->Visible() && l.AxisRects[p].contains(at)) return true;
  return false;
}

void TChart::EndPanning() {
  pan_.Active = false;
  unsetCursor();
}

void TChart::mousePressEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    if (zoom_.Active || pan_.Active) return;
    if (e->button() == Qt::LeftButton && allowZoom_) {
      if (!PressAllowed(at)) return;
      SetCursorIndex(-1);  // the readout gives way to the band
      zoom_ = {true, at.x(), at.y(), at.x(), at.y()};
      setCursor(Qt::ArrowCursor);
      update();
    } else if (e->button() == Qt::RightButton && allowPanning_ != pmNone) {
      if (!PressAllowed(at)) return;
      SetCursorIndex(-1);
      pan_ = {true, at.x(), at.y(), at.x(), at.y()};
    }
  });
}

void TChart::mouseMoveEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (zoom_.Active) {
      if (at.x() == zoom_.X1 && at.y() == zoom_.Y1) return;
      zoom_.X1 = at.x();
      zoom_.Y1 = at.y();
      update();  // the cached picture plus the band at its new place
      return;
    }
    if (!pan_.Active) {
      CursorAtPointer(at);
      return;
    }
    const TChartLayout &l = ScreenLayout();
    if (!l.ChartRect.contains(at)) {
      EndPanning();
      return;
    }
    if (at.x() == pan_.X0 && at.y() == pan_.Y0) return;
    const bool horiz = allowPanning_ == pmHorizontal || allowPanning_ == pmBoth;
    const bool vert = allowPanning_ == pmVertical || allowPanning_ == pmBoth;
    // Work out every axis from the layout the user is looking at, then apply.
    struct TMove {
      TChartAxis *Axis;
      double Minimum, Maximum;
    };
    std::vector<TMove> moves;
    for (int p = 0; p < 4; ++p) {
      TChartAxis &a = *axes_[p];
      if (a.Horizontal() ? !horiz : !vert) continue;
      const double delta = a.Horizontal() ? a.CalcPosPoint(pan_.X0) - a.CalcPosPoint(at.x())
                                          : a.CalcPosPoint(pan_.Y0) - a.CalcPosPoint(at.y());
      if (delta == 0) continue;
      moves.push_back({&a, a.IMinimum() + delta, a.IMaximum() + delta});
    }
    pan_.X0 = pan_.X1 = at.x();
    pan_.Y0 = pan_.Y1 = at.y();
    bool moved = false;
    for (TMove &m : moves) {
      bool allow = true;
      if (OnAllowScroll) OnAllowScroll(*m.Axis, m.Minimum, m.Maximum, allow);
      if (!allow) continue;
      SaveScales();
      m.Axis->SetMinMax(m.Minimum, m.Maximum);
      moved = true;
    }
    if (moved) {
      if (OnScroll) OnScroll(*this);
      Invalidate();
    }
  });
}

void TChart::mouseReleaseEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (pan_.Active) EndPanning();
    if (!zoom_.Active || e->button() != Qt::LeftButton) return;
    zoom_.Active = false;
    zoom_.X1 = at.x();
    zoom_.Y1 = at.y();
    unsetCursor();
    update();  // the band goes with the next paint
    if (std::abs(zoom_.X1 - zoom_.X0) > 16 && std::abs(zoom_.Y1 - zoom_.Y0) > 16) {
      if (zoom_.X0 < zoom_.X1 && zoom_.Y0 < zoom_.Y1) ZoomRect(QRect(QPoint(zoom_.X0, zoom_.Y0), QPoint(zoom_.X1, zoom_.Y1)));
      else UndoZoom();
    }
  });
}
