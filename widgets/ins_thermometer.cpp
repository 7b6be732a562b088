#include "widgets/ins_thermometer.h"

#include <QPainter>

TInsThermometer::TInsThermometer(QWidget *parent) : TInsAnalogGControl(parent) {
  BeginLoading();
  SignalSettings().SetValueUnit(QString::fromUtf8("°C"));
  SignalSettings().SetValueFrom(-40);
  SignalSettings().SetValueTo(60);
  Loaded();
  resize(82, 172);
}

void TInsThermometer::ValueChanged() {
  TInsAnalogGControl::ValueChanged();
  update();
}

void TInsThermometer::SettingsChanged() {
  TInsAnalogGControl::SettingsChanged();
  update();
}

// A plain column with the value text above and the name below.
void TInsThermometer::paintEvent(QPaintEvent *) {
  RefreshTexts();
  QPainter p(this);
  const QFontMetrics fm(font());
  const int th = fm.height();
  const QRect valueRect(0, 0, width(), th);
  const QRect nameRect(0, height() - th, width(), th);
  p.drawText(valueRect, Qt::AlignCenter, ValueText() + " " + SignalSettings().ValueUnit());
  p.drawText(nameRect, Qt::AlignCenter, SignalSettings().Name1());
  const QRect column(width() / 2 - 4, th + 2, 8, height() - 2 * th - 4);
  if (column.height() < 2) return;
  p.fillRect(column, clBtnFace());
  const int fill = column.height() * Position() / 1000;
  p.fillRect(QRect(column.left(), column.bottom() - fill + 1, column.width(), fill), clBlue);
}
