#include "widgets/ins_gradient.h"

#include <QPainter>

TInsGradient::TInsGradient(QWidget *parent) : TInsGraphicControl(parent) {
  resize(50, 50);
  grad_.OnChange = [this] { Change(); };
}

void TInsGradient::paintEvent(QPaintEvent *) {
  QPainter p(this);
  grad_.Paint(p, rect());
}
