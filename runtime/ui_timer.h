#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// A user-interface timer as the windows use it: Enabled and Interval
// properties and an OnTimer event run under the standard handler.
class TTimer : public QObject {
public:
  explicit TTimer(QObject *owner = nullptr, int intervalMs = 1000);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  int Interval() const { return timer_.interval(); }
  void SetInterval(int ms);

  std::function<void(TTimer *sender)> OnTimer;

  // For tests: run one tick now, as the event loop would.
  void Fire();

private:
  QTimer timer_;
  bool enabled_ = false;
};
