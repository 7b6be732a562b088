#pragma once

#include "widgets/gradient.h"
#include "widgets/ins_graphic_control.h"

// Fills its whole rectangle with a gradient on every paint (whatever
// GradSettings.Visible says).
class TInsGradient : public TInsGraphicControl {
public:
  explicit TInsGradient(QWidget *parent = nullptr);

  TInsGradSettings &GradSettings() { return grad_; }

protected:
  void SettingsChanged() override { update(); }
  void paintEvent(QPaintEvent *e) override;

private:
  TInsGradSettings grad_;
};
