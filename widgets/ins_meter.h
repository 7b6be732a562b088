#pragma once

#include "widgets/analog_control.h"

// Pointer meter over a circular scale.
class TInsRMeter : public TInsAnalogGControl {
public:
  explicit TInsRMeter(QWidget *parent = nullptr);

  // Scale geometry: start angle (degrees clockwise from straight up, 300 for
  // the 120-degree meter) and sweep.
  int StartAngle() const { return startAngle_; }
  int SweepAngle() const { return sweepAngle_; }

protected:
  void SetScaleGeometry(int startAngle, int sweepAngle);
  void ValueChanged() override;
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;

private:
  int startAngle_ = 225, sweepAngle_ = 270;
};

// The 120-degree meter.
class TIns120Meter : public TInsRMeter {
public:
  explicit TIns120Meter(QWidget *parent = nullptr);
};

// The 120-degree meter as the main window uses it (its data-aware side is
// not part of this program).
class TInsDB120Meter : public TIns120Meter {
public:
  explicit TInsDB120Meter(QWidget *parent = nullptr);
};
