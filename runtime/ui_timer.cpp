#include "runtime/ui_timer.h"

#include "runtime/application.h"

TTimer::TTimer(QObject *owner, int intervalMs) : QObject(owner) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(intervalMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Fire(); });
}

void TTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on) timer_.start();
  else timer_.stop();
}

void TTimer::SetInterval(int ms) {
  if (ms == timer_.interval()) return;
  timer_.setInterval(ms);
  if (enabled_) timer_.start();
}

void TTimer::Fire() {
  RunHandler([this] {
    if (OnTimer) OnTimer(this);
  });
}
