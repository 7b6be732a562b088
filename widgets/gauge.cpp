#include "widgets/gauge.h"

#include "runtime/exceptions.h"

#include <QPainter>
#include <QPainterPath>

#include <climits>
#include <cmath>

namespace {

std::string RangeMessage(long long low, long long high) {
  return "Value must be between " + std::to_string(low) + " and " + std::to_string(high);
}

}  // namespace

TGauge::TGauge(QWidget *parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 100);
}

void TGauge::Repaint() {
  ++repaintRequests_;
  update();
}

void TGauge::SetKind(TGaugeKind k) {
  if (k == kind_) return;
  kind_ = k;
  Repaint();
}

void TGauge::SetMinValue(int v) {
  if (v == minValue_) return;
  if (v > maxValue_) throw Exception(RangeMessage(-INT_MAX, (long long)maxValue_ - 1));
  minValue_ = v;
  if (progress_ < v) progress_ = v;
  Repaint();
}

void TGauge::SetMaxValue(int v) {
  if (v == maxValue_) return;
  if (v < minValue_) throw Exception(RangeMessage((long long)minValue_ + 1, INT_MAX));
  maxValue_ = v;
  if (progress_ > v) progress_ = v;
  Repaint();
}

int TGauge::PercentDone() const {
  if (maxValue_ == minValue_) return 0;
  return int(std::lround((double(progress_) - minValue_) * 100.0 / (double(maxValue_) - minValue_)));
}

void TGauge::SetProgress(int v) {
  v = qBound(minValue_, v, maxValue_);
  if (v == progress_) return;
  const int before = PercentDone();
  progress_ = v;
  if (PercentDone() != before) Repaint();
}

void TGauge::SetShowText(bool v) {
  if (v == showText_) return;
  showText_ = v;
  Repaint();
}

void TGauge::SetBorderStyle(TBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  Repaint();
}

void TGauge::SetForeColor(const QColor &c) {
  if (c == foreColor_) return;
  foreColor_ = c;
  Repaint();
}

void TGauge::SetBackColor(const QColor &c) {
  if (c == backColor_) return;
  backColor_ = c;
  Repaint();
}

void TGauge::SetColor(const QColor &c) {
  if (c == color_) return;
  color_ = c;
  Repaint();
}

QRect TGauge::FigureRect() const { return borderStyle_ == bsSingle ? rect().adjusted(1, 1, -1, -1) : rect(); }

QImage TGauge::RenderFigure() const {
  const QRect area = FigureRect();
  QImage img(area.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  const int w = img.width(), h = img.height();
  const int percent = PercentDone();
  QPainter p(&img);
  switch (kind_) {
    case gkPie: {
      img.fill(color_);
      const QRectF oval(0.5, 0.5, w - 1, h - 1);
      p.setPen(QPen(foreColor_, 1));
      p.setBrush(backColor_);
      p.drawEllipse(oval);
      if (percent > 0) {
        // From 12 o'clock clockwise over percent / 100 of the turn; a full
        // turn is the whole disc.
        p.setBrush(foreColor_);
        if (percent >= 100) {
          p.drawEllipse(oval);
        } else {
          QPainterPath slice(oval.center());
          slice.arcTo(oval, 90, -percent * 3.6);
          slice.closeSubpath();
          p.drawPath(slice);
        }
      }
      break;
    }
    case gkHorizontalBar:
      img.fill(backColor_);
      p.fillRect(0, 0, int(std::lround(w * percent / 100.0)), h, foreColor_);
      break;
    case gkVerticalBar: {
      img.fill(backColor_);
      const int k = int(std::lround(h * percent / 100.0));
      p.fillRect(0, h - k, w, k, foreColor_);
      break;
    }
    case gkText: img.fill(backColor_); break;
    case gkNeedle: {
      // A half dial, the needle turning from left (0 %) to right (100 %).
      img.fill(color_);
      const QRectF dial(0.5, 0.5, w - 1, 2.0 * (h - 1));
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QPen(foreColor_, 1));
      p.setBrush(backColor_);
      p.drawPie(dial, 0, 180 * 16);
      const double a = M_PI * (1.0 - percent / 100.0);
      const QPointF c(w / 2.0, h - 0.5);
      p.drawLine(c, QPointF(c.x() + (w / 2.0 - 1) * std::cos(a), c.y() - (h - 1) * std::sin(a)));
      break;
    }
  }
  if (showText_) {
    p.setFont(font());
    p.setPen(clBlack);
    p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString::asprintf("%d%%", percent));
  }
  return img;
}

void TGauge::paintEvent(QPaintEvent *) {
  QPainter p(this);
  if (borderStyle_ == bsSingle) {
    p.setPen(clBlack);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  p.drawImage(FigureRect().topLeft(), RenderFigure());
}
