#include "widgets/value_layer.h"

#include <QPainter>

TInsValueLayer::TInsValueLayer(QWidget *owner, PaintFn paint) : QWidget(owner), paint_(std::move(paint)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  SetOpaque(true);
}

void TInsValueLayer::SetOpaque(bool opaque) {
  setAttribute(Qt::WA_OpaquePaintEvent, opaque);
  setAttribute(Qt::WA_NoSystemBackground, opaque);
}

void TInsValueLayer::paintEvent(QPaintEvent *) {
  ++paintCount_;
  QPainter p(this);
  if (paint_) paint_(p, rect());
}
