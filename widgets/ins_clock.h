#pragma once

#include "widgets/ins_graphic_control.h"

enum TClockOption { coDate, coTime, coDateTime };

// Shows the PC's time or date, redrawn once per second by the blink service.
class TInsClock : public TInsGraphicControl {
public:
  explicit TInsClock(QWidget *parent = nullptr);
  ~TInsClock() override;

  TClockOption ClockOption() const { return option_; }
  void SetClockOption(TClockOption o);
  QString ClockText() const;

protected:
  void paintEvent(QPaintEvent *e) override;

private:
  TClockOption option_ = coTime;
};
