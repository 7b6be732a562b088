#include "widgets/gradient.h"

#include "widgets/ins_colors.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int MaxComponentDiff(const QColor &a, const QColor &b) {
  const int d = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
  return std::max(d, 1);
}

// Bands of equal height from From (top) to To, as many as there are colour
// steps but no thinner than one line.
void Banded(QPainter &p, int length, int breadth, bool rows, const QColor &from, const QColor &to) {
  int n = std::min(MaxComponentDiff(from, to), length);
  const int band = length / std::max(n, 1);
  if (band <= 0) return;
  n = std::max(length / band, 1);
  for (int i = 0; i <= n; ++i) {
    const QColor c = BlendColor(from, to, i, n);
    const int pos = i * band;
    if (pos >= length) break;
    if (rows) p.fillRect(0, pos, breadth, band, c);
    else p.fillRect(pos, 0, band, breadth, c);
  }
}

// From at line `middle`, spreading `steps` lines both ways to To.
void Mirrored(QPainter &p, int length, int breadth, bool rows, int middle, int steps, const QColor &from,
              const QColor &to) {
  auto line = [&](int at, const QColor &c) {
    if (at < 0 || at >= length) return;
    if (rows) p.fillRect(0, at, breadth, 1, c);
    else p.fillRect(at, 0, 1, breadth, c);
  };
  // Lines beyond the last step keep the end colour.
  p.fillRect(rows ? QRect(0, 0, breadth, length) : QRect(0, 0, length, breadth), to);
  line(middle, from);
  if (steps <= 0) return;
  for (int u = 1; u <= steps; ++u) {
    const QColor c = BlendColor(from, to, u, steps);
    line(middle + u, c);
    line(middle - u, c);
  }
}

}  // namespace

QImage RenderGradient(const QSize &size, const QColor &from, const QColor &to, TGradientStyle style) {
  QImage img(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  const int w = img.width(), h = img.height();
  // Corners the diamonds and ellipses do not reach keep the end colour.
  img.fill(to);
  if (from.rgb() == to.rgb()) return img;
  QPainter p(&img);
  switch (style) {
    case gsHorizontal1: Banded(p, h, w, true, from, to); break;
    case gsHorizontal2: Mirrored(p, h, w, true, h / 2, h / 2, from, to); break;
    case gsHorizontal3: Mirrored(p, h, w, true, h / 3, int(std::lround(0.67 * h)), from, to); break;
    case gsVertical1: Banded(p, w, h, false, from, to); break;
    case gsVertical2: Mirrored(p, w, h, false, w / 2, w / 2, from, to); break;
    case gsVertical3: Mirrored(p, w, h, false, w / 3, int(std::lround(0.67 * w)), from, to); break;
    case gsElliptic1:
    case gsElliptic2:
    case gsElliptic3: {
      // Centre, upper third or left third, like the mirrored styles.
      const QPointF c = style == gsElliptic1   ? QPointF(w / 2.0, h / 2.0)
                        : style == gsElliptic2 ? QPointF(w / 2.0, h / 3.0)
                                               : QPointF(w / 3.0, h / 2.0);
      QRadialGradient g(c, std::hypot(w, h) / 2.0);
      g.setColorAt(0, from);
      g.setColorAt(1, to);
      p.fillRect(img.rect(), g);
      break;
    }
    case gsRectangle:
    case gsDiamond1:
    case gsDiamond2: {
      // Concentric rectangles (or diamonds) from the edge inwards.
      const int steps = std::max(1, std::min(w, h) / 2);
      for (int i = 0; i <= steps; ++i) {
        const QColor c = BlendColor(to, from, i, steps);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        if (style == gsRectangle) {
          p.drawRect(QRectF(i * w / (2.0 * steps), i * h / (2.0 * steps), w - i * w / double(steps),
                            h - i * h / double(steps)));
        } else {
          const double sx = (style == gsDiamond1 ? w : w * 1.5) / 2.0 * (1.0 - double(i) / steps);
          const double sy = (style == gsDiamond1 ? h : h * 1.5) / 2.0 * (1.0 - double(i) / steps);
          const QPointF pts[4] = {
              {w / 2.0, h / 2.0 - sy}, {w / 2.0 + sx, h / 2.0}, {w / 2.0, h / 2.0 + sy}, {w / 2.0 - sx, h / 2.0}};
          p.drawPolygon(pts, 4);
        }
      }
      break;
    }
    case gsTopLeft:
    case gsTopRight: {
      QLinearGradient g(style == gsTopLeft ? QPointF(0, 0) : QPointF(w, 0),
                        style == gsTopLeft ? QPointF(w, h) : QPointF(0, h));
      g.setColorAt(0, from);
      g.setColorAt(1, to);
      p.fillRect(img.rect(), g);
      break;
    }
  }
  return img;
}

TInsGradSettings::TInsGradSettings() = default;

void TInsGradSettings::SetColorFrom(const QColor &c) {
  if (c == from_) return;
  from_ = c;
  Changed();
}

void TInsGradSettings::SetColorTo(const QColor &c) {
  if (c == to_) return;
  to_ = c;
  Changed();
}

void TInsGradSettings::SetStyle(TGradientStyle s) {
  if (s == style_) return;
  style_ = s;
  Changed();
}

void TInsGradSettings::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

QImage TInsGradSettings::Render(const QSize &size) const { return RenderGradient(size, from_, to_, style_); }

void TInsGradSettings::Paint(QPainter &p, const QRect &r) const {
  if (r.width() <= 0 || r.height() <= 0) return;
  p.drawImage(r.topLeft(), Render(r.size()));
}
