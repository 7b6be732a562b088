#pragma once

#include "widgets/analog_control.h"

// Thermometer: a column filled to the value's position, with the value text
// and the channel name.
class TInsThermometer : public TInsAnalogGControl {
public:
  explicit TInsThermometer(QWidget *parent = nullptr);

protected:
  void ValueChanged() override;
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;
};
