#include "widgets/ins_value_ind.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

TInsValueInd::TInsValueInd(QWidget *parent) : TInsValueBoxGControl(parent, clLime, clBlack, QImage::Format_RGB32) {
  resize(67, 48);
  Measure();
}

TInsAnalogGControl::TFrameParts TInsValueInd::FrameParts() const {
  return {options_.Has(opBevelOuter), options_.Has(opBevelInner), options_.Has(opName1), options_.Has(opName2)};
}

QSize TInsValueInd::MinimumContentSize() const {
  const int bevels = OuterAllowance() + InnerAllowance();
  const QSize names = NamesSize();
  const QSize box = ValueBoxNeed(options_.Has(opUnit));
  const int w = std::max({bevels, names.width() + OuterAllowance(), bevels + box.width()});
  return QSize(w, bevels + names.height() + box.height());
}

void TInsValueInd::Measure() {
  const QSize need = MinimumContentSize();
  if (AutoSize()) resize(need);
  else if (width() < need.width() || height() < need.height())
    resize(std::max(width(), need.width()), std::max(height(), need.height()));
  Relayout();  // a hidden widget gets its resize event only when shown
}

TInsValueInd::TLayout TInsValueInd::ComputeLayout() const {
  TLayout l;
  l.frame = LayoutFrame();
  QRect r = l.frame.Inside;
  if (options_.Has(opBevelInner)) {
    const int b = BevelInner().BorderSize();
    r.adjust(b, b, -b, -b);
  }
  l.box = LayoutValueBox(r.left(), r.width(), r.top(), options_.Has(opUnit));
  return l;
}

void TInsValueInd::Arrange() {
  layout_ = ComputeLayout();
  PlaceValueText(layout_.box.Text, true);
}

void TInsValueInd::ValueChanged() {
  TInsValueBoxGControl::ValueChanged();
  RepaintValueLayers();
}

void TInsValueInd::SettingsChanged() {
  TInsValueBoxGControl::SettingsChanged();
  Measure();
  update();
}

// Painted straight onto the window rather than kept in a picture: the names
// are drawn over the window's own background.
void TInsValueInd::paintEvent(QPaintEvent *e) {
  CountPaint(e->rect());
  QPainter p(this);
  PaintFrameAndNames(p, layout_.frame);
  PaintBevelInner(p, layout_.frame.Inside);
  PaintValueBox(p, layout_.box, options_.Has(opUnit));
  // The value itself is painted by its layer.
}
