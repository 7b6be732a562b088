#include "widgets/ins_gradient.h"

#include <QPaintEvent>
#include <QPainter>

TInsGradient::TInsGradient(QWidget *parent) : TInsGraphicControl(parent) {
  // Every pixel is ours: nothing beneath needs painting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(50, 50);
  grad_.OnChange = [this] { Change(); };
}

void TInsGradient::SettingsChanged() {
  dirty_ = true;
  update();
}

const QImage &TInsGradient::Picture() {
  if (dirty_ || picture_.size() != size()) {
    picture_ = grad_.Render(size());
    dirty_ = false;
    ++renderCount_;
  }
  return picture_;
}

void TInsGradient::paintEvent(QPaintEvent *e) {
  QPainter p(this);
  p.drawImage(e->rect().topLeft(), Picture(), e->rect());
}
