#include "widgets/gauge.h"

#include "runtime/exceptions.h"

#include <QPainter>

#include <climits>
#include <cmath>

TGauge::TGauge(QWidget *parent) : QWidget(parent) { resize(100, 100); }

void TGauge::SetKind(TGaugeKind k) {
  if (k == kind_) return;
  kind_ = k;
  update();
}

void TGauge::SetMinValue(int v) {
  if (v == minValue_) return;
  if (v > maxValue_)
    throw Exception("Value must be between " + std::to_string(INT_MIN) + " and " + std::to_string(maxValue_ - 1));
  minValue_ = v;
  if (progress_ < v) progress_ = v;
  update();
}

void TGauge::SetMaxValue(int v) {
  if (v == maxValue_) return;
  if (v < minValue_)
    throw Exception("Value must be between " + std::to_string(minValue_ + 1) + " and " + std::to_string(INT_MAX));
  maxValue_ = v;
  if (progress_ > v) progress_ = v;
  update();
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
  if (PercentDone() != before) update();
}

void TGauge::SetShowText(bool v) {
  if (v == showText_) return;
  showText_ = v;
  update();
}

void TGauge::SetForeColor(const QColor &c) {
  if (c == foreColor_) return;
  foreColor_ = c;
  update();
}

void TGauge::SetBackColor(const QColor &c) {
  if (c == backColor_) return;
  backColor_ = c;
  update();
}

void TGauge::SetColor(const QColor &c) {
  if (c == color_) return;
  color_ = c;
  update();
}

// Pie clockwise from 12 o'clock; the bar kinds as a plain bar.
void TGauge::paintEvent(QPaintEvent *) {
  QPainter p(this);
  const QRect area = rect().adjusted(1, 1, -1, -1);
  p.setPen(clBlack);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const int percent = PercentDone();
  if (kind_ == gkPie) {
    p.fillRect(area, color_);
    p.setPen(foreColor_);
    p.setBrush(backColor_);
    p.drawEllipse(area.adjusted(0, 0, -1, -1));
    if (percent > 0) {
      p.setBrush(foreColor_);
      p.drawPie(area.adjusted(0, 0, -1, -1), 90 * 16, -percent * 360 * 16 / 100);
    }
  } else {
    p.fillRect(area, backColor_);
    p.fillRect(QRect(area.left(), area.top(), area.width() * percent / 100, area.height()), foreColor_);
  }
  if (showText_) {
    p.setPen(clBlack);
    p.drawText(area, Qt::AlignCenter, QString::number(percent) + "%");
  }
}
