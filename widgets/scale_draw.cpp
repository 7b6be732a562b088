#include "widgets/scale_draw.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include "runtime/form_font.h"

#include <algorithm>
#include <cmath>

TScaleSettings::TScaleSettings() : font_(FormFont("Arial", 14)) {}

void TScaleSettings::SetSteps(int v) {
  if (v < 1 || v == steps_) return;
  steps_ = v;
  Changed();
}

void TScaleSettings::SetSubSteps(int v) {
  if (v < 1 || v == subSteps_) return;
  subSteps_ = v;
  Changed();
}

void TScaleSettings::SetValueFormat(const QString &v) {
  if (v == valueFormat_) return;
  valueFormat_ = v;
  Changed();
}

void TScaleSettings::SetValueFormatLog(const QString &v) {
  if (v == valueFormatLog_) return;
  valueFormatLog_ = v;
  Changed();
}

void TScaleSettings::SetColor(const QColor &c) {
  if (c == color_) return;
  color_ = c;
  Changed();
}

void TScaleSettings::SetPointerColor(const QColor &c) {
  if (c == pointerColor_) return;
  pointerColor_ = c;
  Changed();
}

void TScaleSettings::SetDrawLine(bool v) {
  if (v == drawLine_) return;
  drawLine_ = v;
  Changed();
}

void TScaleSettings::SetFont(const QFont &f) {
  if (f == font_) return;
  font_ = f;
  Changed();
}

void TScaleSettings::SetPosLeftTop(bool v) {
  if (v == posLeftTop_) return;
  posLeftTop_ = v;
  Changed();
}

TScaleDiv TScaleSettings::Divide(double from, double to) const {
  return DivideScale(from, to, steps_, subSteps_, valueFormat_.toStdString());
}

TScaleMetrics TScaleSettings::Measure(const TScaleDiv &div) const {
  const QFontMetrics fm(font_);
  TScaleMetrics m;
  const int h = fm.height();
  m.TextHeight = h;
  m.MainTickLength = int(std::lround(h / 1.4));
  m.MainPenWidth = int(std::lround(h / 14.0));
  m.SubTickLength = m.MainPenWidth == 1 ? m.MainTickLength / 2 : int(std::lround(m.MainTickLength / 1.4));
  m.LabelGap = h / 3;
  for (const std::string &l : div.Labels)
    m.WidestLabel = std::max(m.WidestLabel, fm.horizontalAdvance(QString::fromStdString(l)));
  m.ScaleWidth = m.WidestLabel + m.MainTickLength + m.LabelGap;
  return m;
}

namespace {

// A horizontal tick `length` pixels long from x outwards, `pen` pixels thick
// centred on y.
void HTick(QPainter &p, int x, int y, int length, int pen, bool left, const QColor &c) {
  if (length <= 0) return;
  const int x0 = left ? x - length + 1 : x;
  p.fillRect(x0, y - (pen - 1) / 2, length, pen, c);
}

}  // namespace

void DrawLinearScale(QPainter &p, const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                     const TScaleMap &valueToY, int tickX, bool ticksLeft, int labelLeft, int labelRight) {
  const QColor c = s.Color();
  const int pen = std::max(1, m.MainPenWidth);
  for (double v : div.Minor) HTick(p, tickX, int(std::lround(valueToY.Transform(v))), m.SubTickLength, 1, ticksLeft, c);
  for (double v : div.Major)
    HTick(p, tickX, int(std::lround(valueToY.Transform(v))), m.MainTickLength, pen, ticksLeft, c);
  if (s.DrawLine() && !div.Major.empty()) {
    const int y1 = int(std::lround(valueToY.Transform(div.Major.front())));
    const int y2 = int(std::lround(valueToY.Transform(div.Major.back())));
    p.fillRect(tickX, std::min(y1, y2), 1, std::abs(y2 - y1) + 1, c);
  }
  p.setFont(s.Font());
  p.setPen(c);
  const QFontMetrics fm(s.Font());
  for (size_t i = 0; i < div.Major.size() && i < div.Labels.size(); ++i) {
    const QString text = QString::fromStdString(div.Labels[i]);
    const int w = fm.horizontalAdvance(text);
    const int y = int(std::lround(valueToY.Transform(div.Major[i])));
    int x = ticksLeft ? tickX - m.MainTickLength + 1 - m.LabelGap - w : tickX + m.MainTickLength + m.LabelGap;
    x = std::min(x, labelRight - w);
    x = std::max(x, labelLeft);
    p.drawText(x, y - m.TextHeight / 2 + fm.ascent(), text);
  }
}

QPointF PointOnCircle(const QPointF &centre, double radius, double angleDeg) {
  const double a = angleDeg * M_PI / 180.0;
  return QPointF(centre.x() + radius * std::sin(a), centre.y() - radius * std::cos(a));
}

void DrawArcScale(QPainter &p, const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                  const TScaleMap &valueToAngle, const TArcScaleGeometry &g) {
  const QColor c = s.Color();
  const double outer = g.Radius - m.LabelGap;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  auto tick = [&](double v, int length, int width) {
    const double a = valueToAngle.Transform(v);
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(PointOnCircle(g.Centre, outer, a), PointOnCircle(g.Centre, outer - length, a));
  };
  for (double v : div.Minor) tick(v, g.SubTickLength, 1);
  for (double v : div.Major) tick(v, g.MainTickLength, std::max(1, m.MainPenWidth));
  if (s.DrawLine() && !div.Major.empty()) {
    const double a1 = valueToAngle.Transform(div.Major.back());   // scale start
    const double a2 = valueToAngle.Transform(div.Major.front());  // scale end
    p.setPen(QPen(c, 1));
    p.setBrush(Qt::NoBrush);
    const QRectF box(g.Centre.x() - outer, g.Centre.y() - outer, 2 * outer, 2 * outer);
    // Qt counts counter-clockwise from 3 o'clock in 1/16 degree.
    p.drawArc(box, int(std::lround((90 - a1) * 16)), int(std::lround(-(a2 - a1) * 16)));
  }
  p.restore();
  p.setFont(s.Font());
  p.setPen(c);
  const QFontMetrics fm(s.Font());
  const std::vector<QRect> boxes = ArcLabelRects(s, m, div, valueToAngle, g);
  for (size_t i = 0; i < boxes.size(); ++i)
    p.drawText(boxes[i].left(), boxes[i].top() + fm.ascent(), QString::fromStdString(div.Labels[i]));
}

QRect ArcLabelRect(const TArcScaleGeometry &g, const TScaleMetrics &m, double angleDeg, int width) {
  // The box's reach towards the centre along the tick: half its width times
  // the sine, half its height times the cosine.
  const double a = angleDeg * M_PI / 180.0;
  const double reach = std::abs(std::sin(a)) * width / 2.0 + std::abs(std::cos(a)) * m.TextHeight / 2.0;
  const QPointF at = PointOnCircle(g.Centre, g.Radius + reach, angleDeg);
  return QRect(int(std::lround(at.x() - width / 2.0)), int(std::lround(at.y() - m.TextHeight / 2.0)), width,
               m.TextHeight);
}

std::vector<QRect> ArcLabelRects(const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                                 const TScaleMap &valueToAngle, const TArcScaleGeometry &g) {
  const QFontMetrics fm(s.Font());
  std::vector<QRect> boxes;
  for (size_t i = 0; i < div.Major.size() && i < div.Labels.size(); ++i)
    boxes.push_back(ArcLabelRect(g, m, valueToAngle.Transform(div.Major[i]),
                                 fm.horizontalAdvance(QString::fromStdString(div.Labels[i]))));
  return boxes;
}

TArcScaleGeometry FitArcScale(const QRect &room, const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                              const TScaleMap &valueToAngle, int hubRadius) {
  TArcScaleGeometry none;
  if (div.Major.empty() || room.width() < 2 || room.height() < 2) return none;
  const int cx = room.left() + room.width() / 2;
  // Labels keep off the room's edge (a frame is drawn right beside it), so a
  // wide label at the end of the scale never seems to touch it.
  const QMargins clearance(kArcLabelClearance, kArcLabelClearance, kArcLabelClearance, kArcLabelClearance);
  const double a1 = valueToAngle.Transform(div.Major.front()), a2 = valueToAngle.Transform(div.Major.back());
  // From the largest radius the room could hold down: the first that fits.
  for (int radius = std::max(room.width(), room.height()); radius >= 2; --radius) {
    TArcScaleGeometry g;
    g.Centre = QPointF(0, 0);
    g.Radius = radius;
    // Extents about the centre: hub, arc (every few degrees), labels.
    double top = -hubRadius, bottom = hubRadius, left = -hubRadius, right = hubRadius;
    const double outer = radius - m.LabelGap;
    const int steps = std::max(1, int(std::ceil(std::abs(a2 - a1) / 5.0)));
    for (int k = 0; k <= steps; ++k) {
      const QPointF q = PointOnCircle(g.Centre, outer, a1 + (a2 - a1) * k / steps);
      top = std::min(top, q.y()), bottom = std::max(bottom, q.y());
      left = std::min(left, q.x()), right = std::max(right, q.x());
    }
    for (QRect b : ArcLabelRects(s, m, div, valueToAngle, g)) {
      b = b.marginsAdded(clearance);
      top = std::min(top, double(b.top())), bottom = std::max(bottom, double(b.bottom() + 1));
      left = std::min(left, double(b.left())), right = std::max(right, double(b.right() + 1));
    }
    const int cy = room.top() - int(std::floor(top));
    if (cx + left < room.left() || cx + right > room.left() + room.width()) continue;
    if (cy + bottom > room.top() + room.height()) continue;
    g.Centre = QPointF(cx, cy);
    // Rounded where they are drawn, the labels may land a pixel away.
    const std::vector<QRect> placed = ArcLabelRects(s, m, div, valueToAngle, g);
    if (std::all_of(placed.begin(), placed.end(),
                    [&](const QRect &b) { return room.contains(b.marginsAdded(clearance)); }))
      return g;
  }
  return none;
}
