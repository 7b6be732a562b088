#include "widgets/ins_meter.h"

#include <QPainter>

#include <cmath>

TInsRMeter::TInsRMeter(QWidget *parent) : TInsAnalogGControl(parent) {}

void TInsRMeter::SetScaleGeometry(int startAngle, int sweepAngle) {
  startAngle_ = startAngle;
  sweepAngle_ = sweepAngle;
  update();
}

void TInsRMeter::ValueChanged() {
  TInsAnalogGControl::ValueChanged();
  update();
}

void TInsRMeter::SettingsChanged() {
  TInsAnalogGControl::SettingsChanged();
  update();
}

// A plain arc with the needle at the value's angle and the name below.
void TInsRMeter::paintEvent(QPaintEvent *) {
  RefreshTexts();
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const QRect nameRect(0, height() - fm.height(), width(), fm.height());
  p.drawText(nameRect, Qt::AlignCenter, SignalSettings().Name1());
  const QPointF c(width() / 2.0, height() - fm.height() - 4);
  const double r = std::max(4.0, std::min(width() / 2.0, c.y()) - 4);
  const double a = (startAngle_ + sweepAngle_ * Position() / 1000.0) * M_PI / 180.0;
  p.setPen(QPen(clBlack, 2));
  p.drawLine(c, QPointF(c.x() + r * std::sin(a), c.y() - r * std::cos(a)));
}

TIns120Meter::TIns120Meter(QWidget *parent) : TInsRMeter(parent) {
  SetScaleGeometry(300, 120);
  resize(252, 155);
}

TInsDB120Meter::TInsDB120Meter(QWidget *parent) : TIns120Meter(parent) {}
