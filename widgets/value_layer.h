#pragma once

#include <QWidget>

#include <functional>

// The part of an instrument that shows its value, as its own child widget:
// a value change repaints exactly this rectangle, composed off-screen from a
// saved background, and nothing beneath it (the window's gradient, the
// widget's scales) is drawn again. Opaque unless told otherwise, so the
// toolkit does not paint what lies under it first.
class TInsValueLayer : public QWidget {
public:
  using PaintFn = std::function<void(QPainter &, const QRect &)>;
  TInsValueLayer(QWidget *owner, PaintFn paint);

  void SetOpaque(bool opaque);
  int PaintCount() const { return paintCount_; }
  void ResetPaintCount() { paintCount_ = 0; }

protected:
  void paintEvent(QPaintEvent *e) override;

private:
  PaintFn paint_;
  int paintCount_ = 0;
};
