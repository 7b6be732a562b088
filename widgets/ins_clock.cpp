#include "widgets/ins_clock.h"

#include "runtime/date_format.h"
#include "widgets/flash_timer.h"
#include "widgets/ins_colors.h"

#include <QPainter>

TInsClock::TInsClock(QWidget *parent) : TInsGraphicControl(parent) {
  resize(69, 24);
  TInsFlashTimer::Instance().Register(this, TInsFlashTimer::kRateSecond, 0, [this](int64_t, bool) {
    if (isVisible()) update();
  });
}

TInsClock::~TInsClock() { TInsFlashTimer::Forget(this); }

void TInsClock::SetClockOption(TClockOption o) {
  if (o == option_) return;
  option_ = o;
  update();
}

QString TInsClock::ClockText() const {
  const TDateTimeParts now = Now();
  switch (option_) {
    case coDate: return QString::fromStdString(DateToStr(now));
    case coTime: return QString::fromStdString(TimeToStr(now));
    case coDateTime: return QString::fromStdString(DateToStr(now) + " " + TimeToStr(now));
  }
  return {};
}

void TInsClock::paintEvent(QPaintEvent *) {
  QPainter p(this);
  p.fillRect(rect(), clBlack);
  p.setPen(clLime);
  p.drawText(rect(), Qt::AlignCenter, ClockText());
}
