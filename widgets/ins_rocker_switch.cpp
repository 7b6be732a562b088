#include "widgets/ins_rocker_switch.h"

#include "widgets/text_layout.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

// ---------------------------------------------------------------- TInsSwitch

TInsSwitch::TInsSwitch(QWidget *parent) : TInsBinGControl(parent) {
  // The frame fills the whole area and the face covers its inside.
  setAttribute(Qt::WA_OpaquePaintEvent);
  bevelOuter_.SetWidth(1);
  bevelOuter_.SetSpacing(1);
  bevelOuter_.SetStyle(bsLowered);
  bevelOuter_.SetColor(clBtnShadow());
  bevelOuter_.SetBevelLine(blInner);
  bevelOuter_.OnChange = [this] { Redraw(); };
  SetMode(mSwitch);
  resize(33, 81);
}

void TInsSwitch::SetBtnColorHighlight(const QColor &c) {
  if (c == btnHighlight_) return;
  btnHighlight_ = c;
  StateChangedRedraw();
}

void TInsSwitch::SetBtnColorShadow(const QColor &c) {
  if (c == btnShadow_) return;
  btnShadow_ = c;
  StateChangedRedraw();
}

void TInsSwitch::SetBtnColorFace(const QColor &c) {
  if (c == btnFace_) return;
  btnFace_ = c;
  StateChangedRedraw();
}

void TInsSwitch::SetBtnBevelWidth(int v) {
  if (v < 0 || v == btnBevelWidth_) return;
  btnBevelWidth_ = v;
  StateChangedRedraw();
}

void TInsSwitch::SetOrientation(TBtnOrientation o) {
  if (o == orientation_) return;
  orientation_ = o;
  // The long side follows the orientation.
  const bool longVertical = height() >= width();
  if ((o == boVertical) != longVertical) resize(height(), width());
  Redraw();
}

void TInsSwitch::SetSwapGraphic(bool v) {
  if (v == swapGraphic_) return;
  swapGraphic_ = v;
  Redraw();
}

void TInsSwitch::StateChangedRedraw() { update(FaceRect()); }

QRect TInsSwitch::FaceRect() const {
  const int b = bevelOuter_.BorderSize();
  return rect().adjusted(b, b, -b, -b);
}

void TInsSwitch::DrawState() { update(FaceRect()); }

void TInsSwitch::PressAction(const QPoint &pos) {
  if (Mode() != mSwitch) {
    TInsBinGControl::PressAction(pos);
    return;
  }
  // The half that shows "on" switches on, the other half off; a press on the
  // half that already matches the state, or exactly on the middle line, does
  // nothing. The middle line is a pixel row (column) of its own at any size:
  // at an odd length it is the centre one, with as many on either side.
  const bool shownOn = Checked() != swapGraphic_;
  const int at = orientation_ == boVertical ? pos.y() : pos.x();
  const int middle = (orientation_ == boVertical ? height() : width()) / 2;
  const bool onHalf = at < middle;
  const bool offHalf = at > middle;
  if ((!shownOn && onHalf) || (shownOn && offHalf)) SetChecked(!Checked());
}

QPoint TInsSwitch::KeyClickPoint() const {
  if (Mode() != mSwitch) return TInsBinGControl::KeyClickPoint();
  // On the half that changes the state: a key always switches.
  const bool shownOn = Checked() != swapGraphic_;
  const int along = orientation_ == boVertical ? height() : width();
  const int at = shownOn ? along * 3 / 4 : along / 4;
  return orientation_ == boVertical ? QPoint(width() / 2, at) : QPoint(at, height() / 2);
}

void TInsSwitch::DrawSwitch(QPainter &p, const QRect &r, bool vertical, bool on) {
  // Plain two-half face: the lit half shows the state.
  const int w = btnBevelWidth_;
  QRect in = r;
  DrawFrames3D(p, in, w, btnHighlight_, btnHighlight_, btnShadow_, btnShadow_);
  QRect first = in, second = in;
  if (vertical) {
    first.setBottom(in.top() + in.height() / 2 - 1);
    second.setTop(in.top() + in.height() / 2);
  } else {
    first.setRight(in.left() + in.width() / 2 - 1);
    second.setLeft(in.left() + in.width() / 2);
  }
  p.fillRect(first, on ? btnHighlight_ : btnFace_);
  p.fillRect(second, on ? btnFace_ : btnShadow_);
}

void TInsSwitch::paintEvent(QPaintEvent *e) {
  QPainter p(this);
  const QRect face = FaceRect();
  if (!face.contains(e->rect())) {
    QRect r = rect();
    bevelOuter_.Paint(p, r);
  }
  if (face.width() <= 0 || face.height() <= 0) return;
  ++facePaints_;
  // Composed off-screen and copied in one go, so a state change never flickers.
  QImage img(face.size(), QImage::Format_RGB32);
  img.fill(btnFace_);
  {
    QPainter ip(&img);
    ip.setFont(font());
    DrawSwitch(ip, img.rect(), orientation_ == boVertical, Checked() != swapGraphic_);
    PaintFocusMark(ip, img.rect().adjusted(2, 2, -2, -2));
  }
  p.drawImage(face.topLeft(), img);
}

// ---------------------------------------------------------------- TInsRockerSwitch

TInsRockerSwitch::TInsRockerSwitch(QWidget *parent) : TInsSwitch(parent) {}

void TInsRockerSwitch::SetText(const QString &t) {
  if (t == text_) return;
  text_ = t;
  Redraw();
}

void TInsRockerSwitch::SetTextX(int v) {
  if (v == textX_) return;
  textX_ = v;
  Redraw();
}

void TInsRockerSwitch::SetTextY(int v) {
  if (v == textY_) return;
  textY_ = v;
  Redraw();
}

void TInsRockerSwitch::SetLEDHeight(int v) {
  if (v < 0 || v == ledHeight_) return;
  ledHeight_ = v;
  Redraw();
}

void TInsRockerSwitch::SetLEDColorOn(const QColor &c) {
  if (c == ledOn_) return;
  ledOn_ = c;
  StateChangedRedraw();
}

void TInsRockerSwitch::SetLEDColorOff(const QColor &c) {
  if (c == ledOff_) return;
  ledOff_ = c;
  StateChangedRedraw();
}

void TInsRockerSwitch::SetBtnColorFaceHi(const QColor &c) {
  if (c == faceHi_) return;
  faceHi_ = c;
  StateChangedRedraw();
}

void TInsRockerSwitch::SetBtnColorFaceSh(const QColor &c) {
  if (c == faceSh_) return;
  faceSh_ = c;
  StateChangedRedraw();
}

void TInsRockerSwitch::SetBtnBevel2Width(int v) {
  if (v < 0 || v == bevel2Width_) return;
  bevel2Width_ = v;
  StateChangedRedraw();
}

void TInsRockerSwitch::SetFontColor(const QColor &c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  StateChangedRedraw();
}

QRect TInsRockerSwitch::LampStripRect(const QRect &face) const {
  if (ledHeight_ <= 0) return {};
  const int w = BtnBevelWidth();
  const QRect in = face.adjusted(w, w, -w, -w);
  if (Orientation() == boVertical) {
    if (!SwapGraphic()) return QRect(in.left(), in.top(), in.width(), ledHeight_);
    return QRect(in.left(), in.bottom() - ledHeight_ + 1, in.width(), ledHeight_);
  }
  if (!SwapGraphic()) return QRect(in.left(), in.top(), ledHeight_, in.height());
  return QRect(in.right() - ledHeight_ + 1, in.top(), ledHeight_, in.height());
}

void TInsRockerSwitch::DrawSwitch(QPainter &p, const QRect &r, bool vertical, bool on) {
  const int bw = BtnBevelWidth();
  const int l = r.left(), t = r.top(), rr = r.left() + r.width(), b = r.top() + r.height();

  // Outer frame: two six-cornered polygons, lit upper-left, shaded lower-right.
  if (bw > 0) {
    p.setPen(Qt::NoPen);
    p.setBrush(BtnColorHighlight());
    const QPoint hi[6] = {{l, t}, {rr, t}, {rr - bw, t + bw}, {l + bw, t + bw}, {l + bw, b - bw}, {l, b}};
    p.drawPolygon(hi, 6);
    p.setBrush(BtnColorShadow());
    const QPoint sh[6] = {{rr, t}, {rr, b}, {l, b}, {l + bw, b - bw}, {rr - bw, b - bw}, {rr - bw, t + bw}};
    p.drawPolygon(sh, 6);
  }
  QRect in = r.adjusted(bw, bw, -bw, -bw);

  // Lamp strip at one end.
  const QRect strip = LampStripRect(r);
  if (!strip.isEmpty()) {
    p.fillRect(strip, Checked() ? ledOn_ : ledOff_);
    QRect f = strip;
    DrawFrames3D(p, f, 1, clBtnShadow(), clBtnShadow(), clBtnHighlight(), clBtnHighlight());
    if (vertical) {
      if (!SwapGraphic()) in.setTop(strip.bottom() + 1);
      else in.setBottom(strip.top() - 1);
    } else {
      if (!SwapGraphic()) in.setLeft(strip.right() + 1);
      else in.setRight(strip.left() - 1);
    }
  }

  // Inner step: the rocker sits in a recess BtnBevel2Width deep.
  const int s = BtnBevel2Width();
  if (s > 0 && in.width() > 2 * s && in.height() > 2 * s) {
    p.fillRect(in, BtnColorFace());
    QRect step = in;
    DrawFrames3D(p, step, 1, BtnColorShadow(), BtnColorShadow(), BtnColorHighlight(), BtnColorHighlight());
    in.adjust(s, s, -s, -s);
  }

  // The rocker: two three-cornered facets whose tips meet at the middle of
  // the long side, the first (top or left) lit when on, the second when off.
  const QColor first = on ? faceHi_ : BtnColorFace();
  const QColor second = on ? BtnColorFace() : faceSh_;
  const int il = in.left(), it = in.top(), ir = in.left() + in.width(), ib = in.top() + in.height();
  p.fillRect(in, BtnColorFace());
  p.setPen(Qt::NoPen);
  if (vertical) {
    const QPoint tip(il + in.width() / 2, it + in.height() / 2);
    p.setBrush(first);
    const QPoint a[3] = {{il, it}, {ir, it}, tip};
    p.drawPolygon(a, 3);
    p.setBrush(second);
    const QPoint c[3] = {{il, ib}, {ir, ib}, tip};
    p.drawPolygon(c, 3);
  } else {
    const QPoint tip(il + in.width() / 2, it + in.height() / 2);
    p.setBrush(first);
    const QPoint a[3] = {{il, it}, {il, ib}, tip};
    p.drawPolygon(a, 3);
    p.setBrush(second);
    const QPoint c[3] = {{ir, it}, {ir, ib}, tip};
    p.drawPolygon(c, 3);
  }

  if (!text_.isEmpty()) {
    p.setFont(CaptionFont());
    p.setPen(fontColor_);
    const QPoint at = CaptionAnchor(r, p.fontMetrics().height());
    DrawTextBlock(p, at.x(), at.y(), text_, 4);
  }
}

QRect TInsRockerSwitch::CaptionRoom(const QRect &face) const {
  const int bw = BtnBevelWidth();
  QRect in = face.adjusted(bw, bw, -bw, -bw);
  const QRect strip = LampStripRect(face);
  if (strip.isEmpty()) return in;
  if (Orientation() == boVertical) {
    if (!SwapGraphic()) in.setTop(strip.bottom() + 1);
    else in.setBottom(strip.top() - 1);
  } else {
    if (!SwapGraphic()) in.setLeft(strip.right() + 1);
    else in.setRight(strip.left() - 1);
  }
  return in;
}

QPoint TInsRockerSwitch::CaptionAnchor(const QRect &face, int textHeight) const {
  // About a point on the centre line near the far end.
  int x, y;
  if (Orientation() == boVertical) {
    x = face.left() + face.width() / 2;
    y = SwapGraphic() ? face.top() + textHeight : face.top() + face.height() - textHeight;
  } else {
    x = SwapGraphic() ? face.left() + face.width() / 5 : face.left() + face.width() - face.width() / 5;
    y = face.top() + face.height() / 2;
  }
  return QPoint(x + textX_, y + textY_);
}

QRect TInsRockerSwitch::CaptionRect() const {
  const QRect face = FaceRect();
  return CaptionRoom(QRect(QPoint(0, 0), face.size())).translated(face.topLeft());
}

QFont TInsRockerSwitch::CaptionFont() const { return FitCaptionFont(font(), text_, CaptionRect().width()); }

TCaptionBoxes TInsRockerSwitch::Captions() {
  TCaptionBoxes boxes;
  if (text_.isEmpty()) return boxes;
  const QFont f = CaptionFont();
  const QFontMetrics fm(f);
  const QRect face = FaceRect();
  const QStringList lines = SplitLines(text_);
  const QPoint at = CaptionAnchor(QRect(QPoint(0, 0), face.size()), fm.height()) + face.topLeft();
  // As DrawTextBlock centres a block on both axes.
  int top = at.y() - fm.height() * int(lines.size()) / 2;
  for (const QString &line : lines) {
    const int w = fm.horizontalAdvance(line);
    boxes.push_back({line, f, QRect(at.x() - w / 2, top, w, fm.height()), CaptionRect()});
    top += fm.height();
  }
  return boxes;
}
