#pragma once

#include "widgets/gradient.h"
#include "widgets/ins_graphic_control.h"

#include <QImage>

// A window background: fills its whole rectangle with its gradient on every
// paint, whatever GradSettings.Visible says. The picture is kept until the
// size or the settings change, so the widgets above it repaint cheaply.
class TInsGradient : public TInsGraphicControl {
public:
  explicit TInsGradient(QWidget *parent = nullptr);

  TInsGradSettings &GradSettings() { return grad_; }

  // The picture as it is painted now.
  const QImage &Picture();
  int RenderCount() const { return renderCount_; }

protected:
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;

private:
  TInsGradSettings grad_;
  QImage picture_;
  bool dirty_ = true;
  int renderCount_ = 0;
};
