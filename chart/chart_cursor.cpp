// The readout cursor: which point the pointer is at, and the line and the
// box that show it over the cached picture.
#include "chart/chart.h"

#include "runtime/application.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kPad = 3;
constexpr int kSwatch = 8;

// Text too light to read on the box's pale ground is written in black; its
// colour mark still tells the channel.
QColor Readable(const QColor &c) {
  const int luma = (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
  return luma > 140 ? QColor(Qt::black) : c;
}

}  // namespace

void TChart::SetReadoutCursor(bool on) {
  if (on == readout_) return;
  readout_ = on;
  if (on) setMouseTracking(true);
  if (on) setFocusPolicy(Qt::StrongFocus);  // the arrow keys step the cursor
  else SetCursorIndex(-1);
}

const TLineSeries *TChart::CursorSeries() const {
  for (const auto &s : series_)
    if (s->Active() && s->Count() > 0 && s->HorizAxis() == aBottomAxis) return s.get();
  return nullptr;
}

bool TChart::PointsInSight(const TLineSeries &s, int &first, int &last) {
  const TAxisMap &h = ScreenLayout().Maps[apBottom];
  const size_t n = static_cast<size_t>(s.Count());
  first = static_cast<int>(FirstVisibleIndex(s.XValues().Data(), n, h.Minimum));
  last = static_cast<int>(EndVisibleIndex(s.XValues().Data(), n, h.Maximum)) - 1;
  return first <= last;
}

void TChart::SetCursorIndex(int index) {
  const TLineSeries *s = CursorSeries();
  if (!readout_ || !s) index = -1;
  else if (index >= s->Count()) index = s->Count() - 1;
  if (index < -1) index = -1;
  if (index == cursorIndex_) return;
  // Only the old and the new place are painted again, from the cache.
  const QRect before = CursorRect();
  cursorIndex_ = index;
  update(before | CursorRect());
}

void TChart::CursorAtPointer(const QPoint &at) {
  if (!readout_) return;
  const TLineSeries *s = CursorSeries();
  const TChartLayout &l = ScreenLayout();
  if (!s || !l.ChartRect.contains(at)) {
    SetCursorIndex(-1);
    return;
  }
  // The point in sight whose x is nearest the pointer's.
  int first, last;
  if (!PointsInSight(*s, first, last)) {
    SetCursorIndex(-1);
    return;
  }
  const double x = BottomAxis().CalcPosPoint(at.x());
  const double *xs = s->XValues().Data();
  int i = static_cast<int>(std::lower_bound(xs + first, xs + last + 1, x) - xs);
  if (i > last || (i > first && x - xs[i - 1] <= xs[i] - x)) --i;
  SetCursorIndex(i);
}

QRect TChart::CursorRect() {
  const TLineSeries *s = CursorSeries();
  if (cursorIndex_ < 0 || !s || cursorIndex_ >= s->Count()) return QRect();
  const TChartLayout &l = ScreenLayout();
  const double xv = s->XValues()[cursorIndex_];
  const TAxisMap &h = l.Maps[apBottom];
  if (xv < h.Minimum || xv > h.Maximum) return QRect();  // zoomed or panned out of sight
  const int x = h.Pixel(xv);
  QRect r(x, l.ChartRect.top(), 1, l.ChartRect.height());
  if (!OnReadout) return r;
  const std::vector<TReadoutLine> lines = OnReadout(cursorIndex_, xv);
  const QFontMetrics fm(PixelFont(QFont("Arial", 8)));
  int w = 0;
  for (const TReadoutLine &line : lines)
    w = std::max(w, fm.horizontalAdvance(line.Text) + (line.Color.isValid() ? kSwatch + kPad : 0));
  const QSize box(w + 2 * kPad + 2, static_cast<int>(lines.size()) * fm.height() + 2 * kPad + 2);
  // Beside the line, on whichever side leaves it inside the plot.
  int left = x + 6;
  if (left + box.width() > l.ChartRect.right()) left = x - 6 - box.width();
  return r | QRect(QPoint(std::max(l.ChartRect.left(), left), l.ChartRect.top() + 6), box);
}

void TChart::PaintCursor(QPainter &p) {
  const QRect all = CursorRect();
  if (all.isEmpty()) return;
  const TChartLayout &l = ScreenLayout();
  const TLineSeries *s = CursorSeries();
  const double xv = s->XValues()[cursorIndex_];
  const int x = l.Maps[apBottom].Pixel(xv);
  p.save();
  p.setClipRect(l.ChartRect);
  p.setPen(QPen(QColor(0, 0, 0), 1));
  p.drawLine(x, l.ChartRect.top(), x, l.ChartRect.bottom());
  if (OnReadout) {
    const std::vector<TReadoutLine> lines = OnReadout(cursorIndex_, xv);
    const QFont f = PixelFont(QFont("Arial", 8));
    const QFontMetrics fm(f);
    // The box is the part of the cursor's rectangle off the line.
    QRect box = all;
    if (box.left() >= x) box.setLeft(x + 6);
    else box.setRight(x - 6);
    box.setTop(l.ChartRect.top() + 6);
    box.setHeight(static_cast<int>(lines.size()) * fm.height() + 2 * kPad + 2);
    p.fillRect(box, QColor(255, 255, 225));
    p.setPen(Qt::black);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setFont(f);
    int y = box.top() + 1 + kPad;
    for (const TReadoutLine &line : lines) {
      int tx = box.left() + 1 + kPad;
      if (line.Color.isValid()) {
        const QRect swatch(tx, y + (fm.height() - kSwatch) / 2, kSwatch, kSwatch);
        p.fillRect(swatch, line.Color);
        p.setPen(Qt::black);
        p.drawRect(swatch.adjusted(0, 0, -1, -1));
        tx += kSwatch + kPad;
      }
      p.setPen(line.Color.isValid() ? Readable(line.Color) : QColor(Qt::black));
      p.drawText(QRect(tx, y, box.right() - tx, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, line.Text);
      y += fm.height();
    }
  }
  p.restore();
}

void TChart::keyPressEvent(QKeyEvent *e) {
  if (!readout_ || cursorIndex_ < 0 || (e->key() != Qt::Key_Left && e->key() != Qt::Key_Right)) {
    QWidget::keyPressEvent(e);
    return;
  }
  RunHandler([&] {
    // One point along, staying among the points in sight.
    const TLineSeries *s = CursorSeries();
    int first, last;
    if (!s || !PointsInSight(*s, first, last)) return;
    SetCursorIndex(std::clamp(cursorIndex_ + (e->key() == Qt::Key_Left ? -1 : 1), first, last));
  });
}

void TChart::leaveEvent(QEvent *e) {
  SetCursorIndex(-1);
  QWidget::leaveEvent(e);
}
