// What the chart can draw over and beside its lines: a marker on each point,
// a label over each point, and the legend of the shown series.
#include "chart/chart.h"

#include "runtime/number_format.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kLegendStroke = 16;  // length of the line sample before a title
constexpr int kLegendPad = 4;

QString LegendText(const TLineSeries &s, int index) {
  return s.Title().isEmpty() ? QStringLiteral("Serie %1").arg(index + 1) : s.Title();
}

void DrawPointer(QPainter &p, const TSeriesPointer &ptr, QPointF at, const QColor &fill) {
  const double w = ptr.HorizSize(), h = ptr.VertSize();
  const QRectF box(at.x() - w, at.y() - h, 2 * w, 2 * h);
  p.setBrush(fill);
  switch (ptr.Style()) {
    case psRectangle: p.drawRect(box); break;
    case psCircle: p.drawEllipse(box); break;
    case psTriangle: p.drawPolygon(QPolygonF({box.bottomLeft(), QPointF(at.x(), box.top()), box.bottomRight()})); break;
    case psDownTriangle:
      p.drawPolygon(QPolygonF({box.topLeft(), box.topRight(), QPointF(at.x(), box.bottom())}));
      break;
    case psDiamond:
      p.drawPolygon(QPolygonF({QPointF(at.x(), box.top()), QPointF(box.right(), at.y()), QPointF(at.x(), box.bottom()),
                               QPointF(box.left(), at.y())}));
      break;
    case psCross:
      p.drawLine(QPointF(box.left(), at.y()), QPointF(box.right(), at.y()));
      p.drawLine(QPointF(at.x(), box.top()), QPointF(at.x(), box.bottom()));
      break;
    case psStar:
      p.drawLine(QPointF(box.left(), at.y()), QPointF(box.right(), at.y()));
      p.drawLine(QPointF(at.x(), box.top()), QPointF(at.x(), box.bottom()));
      [[fallthrough]];
    case psDiagCross:
      p.drawLine(box.topLeft(), box.bottomRight());
      p.drawLine(box.bottomLeft(), box.topRight());
      break;
    case psSmallDot: p.fillRect(QRectF(at.x() - 1, at.y() - 1, 2, 2), fill); break;
  }
}

QString MarkText(const TLineSeries &s, int i) {
  QString value = QString::fromStdString(FormatFloat(s.Marks().ValueFormat(), s.YValues()[i]));
  switch (s.Marks().Style()) {
    case smsLabel: return s.ValueLabel(i);
    case smsLabelOrValue: return s.ValueLabel(i).isEmpty() ? value : s.ValueLabel(i);
    case smsValue: break;
  }
  return value;
}

}  // namespace

QSize TChart::LegendSize() const {
  const QFontMetrics fm(PixelFont(legend_.Font()));
  int width = 0, rows = 0;
  for (size_t i = 0; i < series_.size(); ++i) {
    if (!series_[i]->Active()) continue;
    width = std::max(width, fm.horizontalAdvance(LegendText(*series_[i], static_cast<int>(i))));
    ++rows;
  }
  if (rows == 0) return QSize();
  return QSize(width + kLegendStroke + 3 * kLegendPad, rows * fm.height() + 2 * kLegendPad);
}

void TChart::PlaceLegend(QRect &area, TChartLayout &l) const {
  if (!legend_.Visible()) return;
  const QSize size = LegendSize();
  if (size.isEmpty()) return;
  const int gap = 2 * kLegendPad;
  QRect &box = l.LegendRect;
  switch (legend_.Alignment()) {
    case laRight: box = QRect(area.right() - size.width() + 1, area.top(), size.width(), size.height()); break;
    case laLeft: box = QRect(area.left(), area.top(), size.width(), size.height()); break;
    case laTop: box = QRect(area.center().x() - size.width() / 2, area.top(), size.width(), size.height()); break;
    case laBottom:
      box = QRect(area.center().x() - size.width() / 2, area.bottom() - size.height() + 1, size.width(), size.height());
      break;
  }
  if (!legend_.ResizeChart()) return;
  switch (legend_.Alignment()) {
    case laRight: area.setRight(box.left() - gap); break;
    case laLeft: area.setLeft(box.right() + gap); break;
    case laTop: area.setTop(box.bottom() + gap); break;
    case laBottom: area.setBottom(box.top() - gap); break;
  }
}

void TChart::PaintLegend(QPainter &p, const TChartLayout &l) const {
  const QRect box = l.LegendRect;
  if (box.isEmpty()) return;
  p.save();
  p.setClipRect(l.Bounds);
  p.fillRect(box, legend_.Color());
  if (legend_.Frame().Visible()) {
    p.setPen(MakePen(legend_.Frame()));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.adjusted(0, 0, -1, -1));
  }
  const QFont f = PixelFont(legend_.Font());
  const QFontMetrics fm(f);
  p.setFont(f);
  int y = box.top() + kLegendPad;
  for (size_t i = 0; i < series_.size(); ++i) {
    const TLineSeries &s = *series_[i];
    if (!s.Active()) continue;
    const int mid = y + fm.height() / 2;
    p.setPen(QPen(s.LineColor(), std::max(1, s.LinePen().Width()), Qt::SolidLine, Qt::FlatCap));
    p.drawLine(box.left() + kLegendPad, mid, box.left() + kLegendPad + kLegendStroke, mid);
    if (s.Pointer().Visible()) {
      p.setPen(MakePen(s.Pointer().Pen()));
      DrawPointer(p, s.Pointer(), QPointF(box.left() + kLegendPad + kLegendStroke / 2.0, mid), s.SeriesColor());
    }
    p.setPen(legend_.FontColor());
    p.drawText(QRect(box.left() + kLegendStroke + 2 * kLegendPad, y, box.width(), fm.height()),
               Qt::AlignLeft | Qt::AlignVCenter, LegendText(s, static_cast<int>(i)));
    y += fm.height();
  }
  p.restore();
}

void TChart::PaintPointersAndMarks(QPainter &p, const TChartLayout &l) const {
  for (const auto &owned : series_) {
    const TLineSeries &s = *owned;
    if (!s.Active() || s.Count() == 0 || (!s.Pointer().Visible() && !s.Marks().Visible())) continue;
    const TAxisMap &h = l.Maps[s.HorizAxis() == aTopAxis ? apTop : apBottom];
    const TAxisMap &v = l.Maps[s.VertAxis() == aRightAxis ? apRight : apLeft];
    const size_t n = static_cast<size_t>(s.Count());
    const size_t first = FirstVisibleIndex(s.XValues().Data(), n, h.Minimum);
    const size_t end = EndVisibleIndex(s.XValues().Data(), n, h.Maximum);
    p.save();
    if (s.Pointer().Visible()) {
      p.setClipRect(l.ChartRect);
      p.setPen(MakePen(s.Pointer().Pen()));
      // Markers on the same pixel would only paint over each other.
      QPoint last(INT_MIN, INT_MIN);
      for (size_t i = first; i < end; ++i) {
        const double y = s.YValues()[static_cast<int>(i)];
        if (std::isnan(y)) continue;
        const QPointF at(h.Position(s.XValues()[static_cast<int>(i)]), v.Position(y));
        if (!l.ChartRect.adjusted(-8, -8, 8, 8).contains(at.toPoint()) || at.toPoint() == last) continue;
        last = at.toPoint();
        DrawPointer(p, s.Pointer(), at, s.ValueColor(static_cast<int>(i)));
      }
    }
    if (s.Marks().Visible()) {
      const TSeriesMarks &marks = s.Marks();
      p.setClipRect(l.Bounds);
      const QFont f = PixelFont(marks.Font());
      const QFontMetrics fm(f);
      p.setFont(f);
      // A mark that would cover the one before it is left out.
      QRect previous;
      for (size_t i = first; i < end; ++i) {
        const int index = static_cast<int>(i);
        const double y = s.YValues()[index];
        if (std::isnan(y)) continue;
        const QPointF at(h.Position(s.XValues()[index]), v.Position(y));
        if (!l.ChartRect.contains(at.toPoint())) continue;
        const QString text = MarkText(s, index);
        if (text.isEmpty()) continue;
        const int w = fm.horizontalAdvance(text) + 4, ht = fm.height() + 2;
        const int tip = static_cast<int>(std::lround(at.y())) - marks.ArrowLength();
        const QRect box(static_cast<int>(std::lround(at.x())) - w / 2, tip - ht, w, ht);
        if (!previous.isNull() && box.intersects(previous)) continue;
        previous = box;
        if (marks.Arrow().Visible() && marks.ArrowLength() > 0) {
          p.setPen(MakePen(marks.Arrow()));
          p.drawLine(at, QPointF(at.x(), tip));
        }
        if (!marks.Transparent()) p.fillRect(box, marks.BackColor());
        if (marks.Frame().Visible()) {
          p.setPen(MakePen(marks.Frame()));
          p.setBrush(Qt::NoBrush);
          p.drawRect(box.adjusted(0, 0, -1, -1));
        }
        p.setPen(marks.FontColor());
        p.drawText(box, Qt::AlignCenter, text);
      }
    }
    p.restore();
  }
}
