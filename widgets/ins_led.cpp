#include "widgets/ins_led.h"

#include "widgets/text_layout.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

void TLED::SetShape(TLEDShape s) {
  if (s == shape_) return;
  shape_ = s;
  Changed();
}

void TLED::SetWidth(int v) {
  if (v < 4 || v > 40 || v == width_) return;
  width_ = v;
  Changed();
}

void TLED::SetHeight(int v) {
  if (v < 4 || v > 40 || v == height_) return;
  height_ = v;
  Changed();
}

void TLED::SetColorOn(const QColor &c) {
  if (c == colorOn_) return;
  colorOn_ = c;
  Changed();
}

void TLED::SetColorOff(const QColor &c) {
  if (c == colorOff_) return;
  colorOff_ = c;
  Changed();
}

QSize TLED::LampSize() const {
  if (shape_ == sRound) {
    const int d = std::max(width_, height_);
    return QSize(d, d);
  }
  return QSize(width_, height_);
}

TInsLED::TInsLED(QWidget *parent) : TInsBinGControl(parent) {
  led_.OnChange = [this] { Redraw(); };
  resize(73, 33);
}

void TInsLED::SetLED_Position(TLEDPos p) {
  if (p == position_) return;
  position_ = p;
  Redraw();
}

void TInsLED::SetSpacing(int v) {
  if (v == spacing_) return;
  spacing_ = v;
  Redraw();
}

void TInsLED::SetCaption(const QString &c) {
  if (c == caption_) return;
  caption_ = c;
  Redraw();
}

void TInsLED::SetFontColor(const QColor &c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  Redraw();
}

QRect TInsLED::LampRect() const {
  const QSize s = led_.LampSize();
  switch (position_) {
    case lpLeft: return QRect(0, (height() - s.height()) / 2, s.width(), s.height());
    case lpRight: return QRect(width() - s.width(), (height() - s.height()) / 2, s.width(), s.height());
    case lpTop: return QRect((width() - s.width()) / 2, 0, s.width(), s.height());
    case lpBottom: return QRect((width() - s.width()) / 2, height() - s.height(), s.width(), s.height());
  }
  return {};
}

void TInsLED::DrawState() { update(LampRect()); }

void TInsLED::FlashState(bool) { update(LampRect()); }

void TInsLED::PaintLamp(QPainter &p, const QRect &r, const QColor &c) const {
  p.save();
  switch (led_.Shape()) {
    case sRound: {
      const int d = r.width();
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(QPen(clBtnShadow(), 1));
      p.setBrush(c);
      p.drawEllipse(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5));
      // The highlight: a quarter arc on the upper left, inset by a fifth.
      const int pw = std::max(1, d / 8);
      const int inset = d / 5;
      p.setPen(QPen(clBtnHighlight(), pw, Qt::SolidLine, Qt::FlatCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(r.adjusted(inset, inset, -inset, -inset), 90 * 16, 90 * 16);
      break;
    }
    case sRectangle:
      p.setPen(clBtnShadow());
      p.setBrush(c);
      p.drawRoundedRect(r.adjusted(0, 0, -1, -1), 1, 1);
      break;
    default: {
      QPolygon tri;
      const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
      const int cx = r.center().x(), cy = r.center().y();
      if (led_.Shape() == sArrowLeft) tri << QPoint(l, cy) << QPoint(rr, t) << QPoint(rr, b);
      if (led_.Shape() == sArrowRight) tri << QPoint(rr, cy) << QPoint(l, t) << QPoint(l, b);
      if (led_.Shape() == sArrowUp) tri << QPoint(cx, t) << QPoint(rr, b) << QPoint(l, b);
      if (led_.Shape() == sArrowDown) tri << QPoint(cx, b) << QPoint(l, t) << QPoint(rr, t);
      p.setPen(clBtnShadow());
      p.setBrush(c);
      p.drawPolygon(tri);
      break;
    }
  }
  p.restore();
}

const QImage &TInsLED::LampImage(const QSize &size, const QColor &c) {
  if (lampImage_.size() != size || lampColor_ != c.rgba() || lampShape_ != led_.Shape()) {
    lampImage_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    lampImage_.fill(Qt::transparent);
    QPainter ip(&lampImage_);
    PaintLamp(ip, lampImage_.rect(), c);
    lampColor_ = c.rgba();
    lampShape_ = led_.Shape();
  }
  return lampImage_;
}

void TInsLED::paintEvent(QPaintEvent *) {
  QPainter p(this);
  const QRect lamp = LampRect();
  // While blinking the lamp follows the phase; otherwise the state.
  const bool lit = Checked() && (!Flashing() || FlashPhase());
  if (!lamp.isEmpty()) p.drawImage(lamp.topLeft(), LampImage(lamp.size(), lit ? led_.ColorOn() : led_.ColorOff()));
  if (caption_.isEmpty()) return;
  p.setFont(font());
  p.setPen(fontColor_);
  const QSize text = MeasureTextBlock(p.fontMetrics(), caption_);
  switch (position_) {
    case lpLeft: DrawTextBlock(p, lamp.right() + 1 + spacing_, height() / 2, caption_, 3); break;
    case lpRight: DrawTextBlock(p, lamp.left() - spacing_, height() / 2, caption_, 5); break;
    case lpTop: DrawTextBlock(p, width() / 2, lamp.bottom() + 1 + spacing_, caption_, 1); break;
    case lpBottom: DrawTextBlock(p, width() / 2, lamp.top() - spacing_, caption_, 7); break;
  }
  (void)text;
}
