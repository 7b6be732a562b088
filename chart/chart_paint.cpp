// Painting the chart's panel, titles, axes and grid, in the painting order
// the lines and the decorations complete.
#include "chart/chart.h"
#include "chart/chart_detail.h"

#include "widgets/ins_colors.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

using namespace chart_detail;

namespace {

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

}  // namespace

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
  const int edge = place == apLeft     ? r.left() - 1
                   : place == apRight  ? r.right() + 1
                   : place == apBottom ? r.bottom() + 1
                                       : r.top() - 1;
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
        drawLabel(ticks.Values[i], Q(ticks.Texts.empty() ? a.LabelText(ticks.Values[i], ticks.Step) : ticks.Texts[i]));
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
  PaintBands(painter, l, false);
  for (TAxisPlace place : {apLeft, apTop, apRight, apBottom}) PaintGrid(painter, l, place);
  PaintBands(painter, l, true);
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
