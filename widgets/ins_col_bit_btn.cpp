#include "widgets/ins_col_bit_btn.h"

#include "runtime/form_font.h"
#include "widgets/bevel.h"
#include "widgets/text_layout.h"

#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QPainter>

#include <algorithm>

// ---------------------------------------------------------------- TInsBtnBevel

void TInsBtnBevel::SetWidth(int v) {
  if (v < 0 || v == width_) return;
  width_ = v;
  Changed();
}

void TInsBtnBevel::SetShadowColFrom(const QColor &c) {
  if (c == shFrom_) return;
  shFrom_ = c;
  Changed();
}

void TInsBtnBevel::SetShadowColTo(const QColor &c) {
  if (c == shTo_) return;
  shTo_ = c;
  Changed();
}

void TInsBtnBevel::SetHighlightColFrom(const QColor &c) {
  if (c == hlFrom_) return;
  hlFrom_ = c;
  Changed();
}

void TInsBtnBevel::SetHighlightColTo(const QColor &c) {
  if (c == hlTo_) return;
  hlTo_ = c;
  Changed();
}

void TInsBtnBevel::Paint(QPainter &p, QRect r, bool sunken, bool fill, const QColor &face) const {
  if (fill) p.fillRect(r, face);
  if (sunken) DrawFrames3D(p, r, width_, shTo_, shFrom_, hlTo_, hlFrom_);
  else DrawFrames3D(p, r, width_, hlFrom_, hlTo_, shFrom_, shTo_);
}

// ---------------------------------------------------------------- TInsColBitBtn

TInsColBitBtn::TInsColBitBtn(QWidget *parent) : TInsBinGControl(parent) {
  grad_.SetColorFrom(ColorFromRGB(15790320));
  grad_.SetColorTo(ColorFromRGB(6908265));
  grad_.SetStyle(gsHorizontal1);
  grad_.SetVisible(true);
  bevel_.SetWidth(4);
  grad_.OnChange = [this] { Redraw(); };
  bevel_.OnChange = [this] { Redraw(); };
  QFont f = font();
  f.setBold(true);
  setFont(f);
  SetMode(mButton);
  resize(65, 33);
}

#define TALVEX_SETTER(Name, member, Type) \
  void TInsColBitBtn::Set##Name(Type v) { \
    if (v == (member)) return;            \
    (member) = v;                         \
    DrawState();                          \
  }

TALVEX_SETTER(TextOn, textOn_, const QString &)
TALVEX_SETTER(TextOff, textOff_, const QString &)
TALVEX_SETTER(TextColOn, textColOn_, const QColor &)
TALVEX_SETTER(TextColOff, textColOff_, const QColor &)
TALVEX_SETTER(TextColDisabled, textColDisabled_, const QColor &)
TALVEX_SETTER(Text3D, text3D_, bool)
TALVEX_SETTER(ColorOn, colorOn_, const QColor &)
TALVEX_SETTER(ColorOff, colorOff_, const QColor &)
TALVEX_SETTER(ColorDisabled, colorDisabled_, const QColor &)
TALVEX_SETTER(Beveled, beveled_, bool)
TALVEX_SETTER(Flat, flat_, bool)
TALVEX_SETTER(Transparent, transparent_, bool)
TALVEX_SETTER(PosGlyph, posGlyph_, TPos)
TALVEX_SETTER(PosHorizontal, posH_, TPosH)
TALVEX_SETTER(PosVertical, posV_, TPosV)
TALVEX_SETTER(Spacing, spacing_, int)
TALVEX_SETTER(OffsetX, offsetX_, int)
TALVEX_SETTER(OffsetY, offsetY_, int)
TALVEX_SETTER(OffsetDown, offsetDown_, int)
TALVEX_SETTER(FlashOptions, flashOptions_, TFlashOptions)
TALVEX_SETTER(CheckedOptions, checkedOptions_, TCheckedOptions)

#undef TALVEX_SETTER

void TInsColBitBtn::SetGlyph(const QPixmap &g) {
  glyph_ = g;
  DrawState();
}

void TInsColBitBtn::SetNumGlyph(int n) {
  if (n < 1 || n > 3 || n == numGlyph_) return;
  numGlyph_ = n;
  DrawState();
}

bool TInsColBitBtn::Opaque() const {
  if (transparent_) return false;
  // The gradient leaves the frame's band to the bevel; without a drawn bevel
  // the parent shows there.
  return !grad_.Visible() || (beveled_ && (!flat_ || hover_));
}

void TInsColBitBtn::DrawState() {
  setAttribute(Qt::WA_OpaquePaintEvent, Opaque());
  update();
}

void TInsColBitBtn::FlashState(bool) { update(); }

TInsColBitBtn::TLook TInsColBitBtn::CurrentLook() const {
  TLook l{};
  const bool blinking = Checked() && Flashing();
  auto aspect = [&](TFlashOption fo, TCheckedOption co) {
    if (flashOptions_.Has(fo) && blinking) return FlashPhase();
    return checkedOptions_.Has(co) && Checked();
  };
  l.glyphOn = aspect(foGlyph, coGlyph);
  l.textOn = aspect(foText, coText);
  l.textColOn = aspect(foTextCol, coTextCol);
  l.btnColOn = aspect(foBtnCol, coBtnCol);
  l.sunken = Pressed() || (Checked() && checkedOptions_.Has(coBevel));
  if (l.textOn) l.caption = textOn_;
  else l.caption = textOff_.isEmpty() ? textOn_ : textOff_;
  const bool enabled = isEnabled();
  l.faceColor = !enabled ? colorDisabled_ : (l.btnColOn ? colorOn_ : colorOff_);
  l.textColor = !enabled ? textColDisabled_ : (l.textColOn ? textColOn_ : textColOff_);
  l.font = CaptionFont();
  l.textOrigin = TextOrigin(l.caption, l.sunken, l.font);
  return l;
}

QRect TInsColBitBtn::CaptionRect() const {
  const int b = beveled_ ? bevel_.Width() : 0;
  return rect().adjusted(b, b, -b, -b);
}

QFont TInsColBitBtn::CaptionFont() const {
  const bool sideways = posGlyph_ == pLeft || posGlyph_ == pRight;
  const int glyphW = glyph_.isNull() || !sideways ? 0 : glyph_.width() / numGlyph_ + spacing_;
  const int glyphH = glyph_.isNull() || sideways ? 0 : glyph_.height() + spacing_;
  const QRect face = CaptionRect();
  const int extra = 2 * TextMargin() + offsetDown_;
  // Both captions on one measure, so the text keeps its size when it changes.
  const QSize room(face.width() - extra - glyphW, face.height() - extra - glyphH);
  return FitCaptionFont(font(), {textOff_, textOn_}, room);
}

QPoint TInsColBitBtn::TextOrigin(const QString &caption, bool sunken, const QFont &font) const {
  // Caption block: as wide as the wider caption, so the text does not jump
  // when it changes; as high as the shown caption.
  const QFontMetrics fm(font);
  const int blockW = std::max(MeasureTextBlock(fm, textOff_).width(), MeasureTextBlock(fm, textOn_).width());
  const int blockH = fm.height() * int(SplitLines(caption).size());
  const int glyphW = glyph_.isNull() ? 0 : glyph_.width() / numGlyph_;
  const int glyphH = glyph_.isNull() ? 0 : glyph_.height();
  const int gap = glyph_.isNull() ? 0 : spacing_;
  const bool sideways = posGlyph_ == pLeft || posGlyph_ == pRight;
  const int totalW = sideways ? glyphW + gap + blockW : std::max(glyphW, blockW);
  const int totalH = sideways ? std::max(glyphH, blockH) : glyphH + gap + blockH;
  // Put to a side, the caption keeps to the face inside the bevel, with room
  // for the raised copies and for the step it takes when held down.
  const QRect face = CaptionRect();
  const int m = TextMargin();
  int cx = width() / 2, cy = height() / 2;
  if (posH_ == phLeft) cx = face.left() + m + totalW / 2;
  if (posH_ == phRight) cx = face.right() + 1 - m - offsetDown_ - (totalW - totalW / 2);
  if (posV_ == pvTop) cy = face.top() + m + totalH / 2;
  if (posV_ == pvBottom) cy = face.bottom() + 1 - m - offsetDown_ - (totalH - totalH / 2);
  const int dx = offsetX_ + (sunken ? offsetDown_ : 0);
  const int dy = offsetY_ + (sunken ? offsetDown_ : 0);
  int tx = cx - totalW / 2, ty = cy - blockH / 2;
  if (posGlyph_ == pLeft) tx += glyphW + gap;
  if (posGlyph_ == pTop) ty = cy - totalH / 2 + glyphH + gap;
  if (posGlyph_ == pBottom) ty = cy - totalH / 2;
  return QPoint(tx + dx, ty + dy);
}

TCaptionBoxes TInsColBitBtn::Captions() {
  TCaptionBoxes boxes;
  const QFont f = CaptionFont();
  const QFontMetrics fm(f);
  const bool centred = !(posGlyph_ == pLeft || posGlyph_ == pRight);
  const int blockW = std::max(MeasureTextBlock(fm, textOff_).width(), MeasureTextBlock(fm, textOn_).width());
  const int m = TextMargin();
  for (const QString &caption : {textOff_, textOn_}) {
    if (caption.isEmpty()) continue;
    for (bool sunken : {false, true}) {
      const QPoint origin = TextOrigin(caption, sunken, f);
      const int x = origin.x() + (centred ? blockW / 2 : 0);
      int y = origin.y();
      for (const QString &line : SplitLines(caption)) {
        const int w = fm.horizontalAdvance(line);
        const QRect drawn(centred ? x - w / 2 : x, y, w, fm.height());
        boxes.push_back({line, f, drawn.adjusted(-m, -m, m, m), CaptionRect()});
        y += fm.height();
      }
    }
  }
  return boxes;
}

void TInsColBitBtn::paintEvent(QPaintEvent *) {
  ++paintCount_;
  const TLook look = CurrentLook();
  QImage img(size(), QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);  // the parent shows through where nothing is drawn
  QPainter p(&img);
  const int bw = bevel_.Width();
  if (!transparent_ && grad_.Visible()) grad_.Paint(p, rect().adjusted(bw, bw, -bw, -bw));

  const bool faceFillAllowed = !transparent_ && !grad_.Visible();
  if (beveled_ && (!flat_ || hover_)) bevel_.Paint(p, rect(), look.sunken, faceFillAllowed, look.faceColor);
  else if (faceFillAllowed) p.fillRect(rect(), look.faceColor);

  // Glyph: normal, disabled and "on" images side by side.
  if (!glyph_.isNull() && glyph_.width() >= numGlyph_) {
    const int gw = glyph_.width() / numGlyph_;
    int slot = 0;
    if (!isEnabled() && numGlyph_ >= 2) slot = 1;
    else if (look.glyphOn && numGlyph_ >= 3) slot = 2;
    QPixmap g = glyph_.copy(slot * gw, 0, gw, glyph_.height());
    if (!g.hasAlphaChannel()) {
      // Bitmaps without alpha use the lower-left pixel of the whole strip as
      // the transparent colour, for every image in it.
      const QImage whole = glyph_.toImage();
      const QColor key = whole.pixelColor(0, whole.height() - 1);
      g.setMask(QBitmap::fromImage(g.toImage().createMaskFromColor(key.rgb(), Qt::MaskInColor)));
    }
    const QFontMetrics fm(look.font);
    const int blockH = fm.height() * int(SplitLines(look.caption).size());
    QPoint gp;
    switch (posGlyph_) {
      case pLeft:
        gp = QPoint(look.textOrigin.x() - spacing_ - gw, look.textOrigin.y() + (blockH - g.height()) / 2);
        break;
      case pRight: {
        const int blockW = std::max(MeasureTextBlock(fm, textOff_).width(), MeasureTextBlock(fm, textOn_).width());
        gp = QPoint(look.textOrigin.x() + blockW + spacing_, look.textOrigin.y() + (blockH - g.height()) / 2);
        break;
      }
      case pTop: gp = QPoint(width() / 2 - gw / 2, look.textOrigin.y() - spacing_ - g.height()); break;
      case pBottom: gp = QPoint(width() / 2 - gw / 2, look.textOrigin.y() + blockH + spacing_); break;
    }
    p.drawPixmap(gp, g);
  }

  if (!look.caption.isEmpty()) {
    p.setFont(look.font);
    const int align = (posGlyph_ == pLeft || posGlyph_ == pRight) ? 0 : 1;
    int x = look.textOrigin.x();
    if (align == 1) {
      const QFontMetrics fm(look.font);
      x += std::max(MeasureTextBlock(fm, textOff_).width(), MeasureTextBlock(fm, textOn_).width()) / 2;
    }
    const int y = look.textOrigin.y();
    if (text3D_) {
      p.setPen(bevel_.HighlightColTo());
      DrawTextBlock(p, x + 1, y + 1, look.caption, align);
      p.setPen(bevel_.ShadowColTo());
      DrawTextBlock(p, x - 1, y - 1, look.caption, align);
    }
    p.setPen(look.textColor);
    DrawTextBlock(p, x, y, look.caption, align);
  }
  PaintFocusMark(p, CaptionRect());
  p.end();
  QPainter wp(this);
  wp.drawImage(0, 0, img);
}

void TInsColBitBtn::enterEvent(QEnterEvent *e) {
  TInsBinGControl::enterEvent(e);
  if (!flat_) return;
  hover_ = true;
  DrawState();
}

void TInsColBitBtn::leaveEvent(QEvent *e) {
  TInsBinGControl::leaveEvent(e);
  if (!hover_) return;
  hover_ = false;
  DrawState();
}

void TInsColBitBtn::changeEvent(QEvent *e) {
  TInsBinGControl::changeEvent(e);
  if (e->type() == QEvent::EnabledChange || e->type() == QEvent::FontChange) update();
}

void ApplyGraphButtonLook(TInsColBitBtn &button, int index) {
  static const char *const kCaptions[4] = {"Copiar", "Zoom", "Mover", "Imprimir"};
  if (index < 0 || index > 3) return;
  button.resize(60, 23);
  button.SetMode(mButton);
  button.SetTextOff(kCaptions[index]);
  button.SetTextOn(kCaptions[index]);
  button.SetTextColOff(clBlack);
  button.SetTextColOn(clLime);
  button.SetText3D(false);
  button.SetPosHorizontal(phCenter);
  button.SetPosVertical(pvCenter);
  button.SetPosGlyph(pLeft);
  button.SetFrequency(ff1Hz);
  button.setFont(FormFont("MS Sans Serif", 8, true));
}
