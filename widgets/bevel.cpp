#include "widgets/bevel.h"

#include "widgets/ins_colors.h"

#include <QPainter>

void DrawFrames3D(QPainter &p, QRect &r, int width, const QColor &ulFrom, const QColor &ulTo, const QColor &lrFrom,
                  const QColor &lrTo) {
  for (int i = 1; i <= width && r.width() > 0 && r.height() > 0; ++i) {
    const QColor ul = BlendColor(ulFrom, ulTo, i, width);
    const QColor lr = BlendColor(lrFrom, lrTo, i, width);
    // Upper and left edges, then lower and right (the corners they share go
    // to the lower-right colour, as a raised frame looks lit from the top-left).
    p.fillRect(r.left(), r.top(), r.width(), 1, ul);
    p.fillRect(r.left(), r.top(), 1, r.height(), ul);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, lr);
    p.fillRect(r.right(), r.top(), 1, r.height(), lr);
    r.adjust(1, 1, -1, -1);
  }
}

TInsSBevel::TInsSBevel()
    : color_(clBtnFace()),
      hlFrom_(clBtnHighlight()),
      hlTo_(clBtnHighlight()),
      shFrom_(clBtnShadow()),
      shTo_(clBtnShadow()) {
  surfaceGrad_.OnChange = [this] { Changed(); };
}

void TInsSBevel::SetStyle(TBevelStyle v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}

void TInsSBevel::SetWidth(int v) {
  if (v < 0 || v == width_) return;
  width_ = v;
  Changed();
}

void TInsSBevel::SetSpacing(int v) {
  if (v == spacing_) return;
  spacing_ = v;
  Changed();
}

void TInsSBevel::SetBevelLine(TBevelLine v) {
  if (v == bevelLine_) return;
  bevelLine_ = v;
  Changed();
}

void TInsSBevel::SetColor(const QColor &v) {
  if (v == color_) return;
  color_ = v;
  Changed();
}

void TInsSBevel::SetPenColor(const QColor &v) {
  if (v == penColor_) return;
  penColor_ = v;
  Changed();
}

void TInsSBevel::SetColorHighLightFrom(const QColor &v) {
  if (v == hlFrom_) return;
  hlFrom_ = v;
  Changed();
}

void TInsSBevel::SetColorHighLightTo(const QColor &v) {
  if (v == hlTo_) return;
  hlTo_ = v;
  Changed();
}

void TInsSBevel::SetColorShadowFrom(const QColor &v) {
  if (v == shFrom_) return;
  shFrom_ = v;
  Changed();
}

void TInsSBevel::SetColorShadowTo(const QColor &v) {
  if (v == shTo_) return;
  shTo_ = v;
  Changed();
}

void TInsSBevel::SetOffset(const TInsOffset &v) {
  if (v == offset_) return;
  offset_ = v;
  Changed();
}

int TInsSBevel::BorderSize() const {
  int s = spacing_ + width_;
  if (bevelLine_ == blOuter || bevelLine_ == blInner) s += 1;
  if (bevelLine_ == blBoth) s += 2;
  return s;
}

void TInsSBevel::Paint(QPainter &p, QRect &r) const {
  const QRect given = r;
  p.fillRect(r, color_);
  if (bevelLine_ == blOuter || bevelLine_ == blBoth) r.adjust(1, 1, -1, -1);
  if (style_ == bsRaised) DrawFrames3D(p, r, width_, hlFrom_, hlTo_, shFrom_, shTo_);
  else DrawFrames3D(p, r, width_, shTo_, shFrom_, hlTo_, hlFrom_);
  if (surfaceGrad_.Visible()) surfaceGrad_.Paint(p, r);
  auto outline = [&](const QRect &o) {
    if (o.width() <= 0 || o.height() <= 0) return;
    p.save();
    p.setPen(penColor_);
    p.setBrush(Qt::NoBrush);
    p.drawRect(o.adjusted(0, 0, -1, -1));
    p.restore();
  };
  if (bevelLine_ == blInner || bevelLine_ == blBoth) {
    outline(r);
    r.adjust(1, 1, -1, -1);
  }
  if (bevelLine_ == blOuter || bevelLine_ == blBoth) outline(given);
  r.adjust(spacing_, spacing_, -spacing_, -spacing_);
  r.adjust(offset_.Left, offset_.Top, -offset_.Right, -offset_.Bottom);
}
