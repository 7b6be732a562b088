#pragma once

#include "widgets/binary_control.h"
#include "widgets/captions.h"
#include "widgets/gradient.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_set.h"

#include <QImage>
#include <QPixmap>

// The frame of a colour button: Width nested frames, lit from the top-left
// when raised, the reverse when sunken.
class TInsBtnBevel {
public:
  int Width() const { return width_; }
  void SetWidth(int v);  // negative ignored
  QColor ShadowColFrom() const { return shFrom_; }
  void SetShadowColFrom(const QColor &c);
  QColor ShadowColTo() const { return shTo_; }
  void SetShadowColTo(const QColor &c);
  QColor HighlightColFrom() const { return hlFrom_; }
  void SetHighlightColFrom(const QColor &c);
  QColor HighlightColTo() const { return hlTo_; }
  void SetHighlightColTo(const QColor &c);

  // Paints the frames into r, filling it with face first when asked.
  void Paint(QPainter &p, QRect r, bool sunken, bool fill, const QColor &face) const;

  std::function<void()> OnChange;

private:
  void Changed() {
    if (OnChange) OnChange();
  }
  int width_ = 2;
  QColor shFrom_ = clBlack, shTo_ = clBtnShadow();
  QColor hlFrom_{0xD2, 0xD2, 0xD2}, hlTo_ = clBtnHighlight();
};

enum TFlashOption { foGlyph, foText, foTextCol, foBtnCol };
using TFlashOptions = TSet<TFlashOption>;
enum TCheckedOption { coGlyph, coText, coTextCol, coBtnCol, coBevel };
using TCheckedOptions = TSet<TCheckedOption>;
enum TPos { pLeft, pRight, pTop, pBottom };
enum TPosH { phLeft, phRight, phCenter };
enum TPosV { pvTop, pvBottom, pvCenter };

// A button with on/off captions, colours and glyphs, a gradient face and a
// 3-D frame; in mButton mode it is Checked (and sunken) only while held.
class TInsColBitBtn : public TInsBinGControl {
public:
  explicit TInsColBitBtn(QWidget *parent = nullptr);

  QString TextOn() const { return textOn_; }
  void SetTextOn(const QString &t);
  QString TextOff() const { return textOff_; }
  void SetTextOff(const QString &t);
  QColor TextColOn() const { return textColOn_; }
  void SetTextColOn(const QColor &c);
  QColor TextColOff() const { return textColOff_; }
  void SetTextColOff(const QColor &c);
  QColor TextColDisabled() const { return textColDisabled_; }
  void SetTextColDisabled(const QColor &c);
  bool Text3D() const { return text3D_; }
  void SetText3D(bool v);
  QColor ColorOn() const { return colorOn_; }
  void SetColorOn(const QColor &c);
  QColor ColorOff() const { return colorOff_; }
  void SetColorOff(const QColor &c);
  QColor ColorDisabled() const { return colorDisabled_; }
  void SetColorDisabled(const QColor &c);
  TInsGradSettings &GradBtnFace() { return grad_; }
  TInsBtnBevel &ButtonBevel() { return bevel_; }
  bool Beveled() const { return beveled_; }
  void SetBeveled(bool v);
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  QPixmap Glyph() const { return glyph_; }
  void SetGlyph(const QPixmap &g);
  int NumGlyph() const { return numGlyph_; }
  void SetNumGlyph(int n);  // 1 .. 3
  TPos PosGlyph() const { return posGlyph_; }
  void SetPosGlyph(TPos p);
  TPosH PosHorizontal() const { return posH_; }
  void SetPosHorizontal(TPosH p);
  TPosV PosVertical() const { return posV_; }
  void SetPosVertical(TPosV p);
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  int OffsetX() const { return offsetX_; }
  void SetOffsetX(int v);
  int OffsetY() const { return offsetY_; }
  void SetOffsetY(int v);
  int OffsetDown() const { return offsetDown_; }
  void SetOffsetDown(int v);
  TFlashOptions FlashOptions() const { return flashOptions_; }
  void SetFlashOptions(TFlashOptions o);
  TCheckedOptions CheckedOptions() const { return checkedOptions_; }
  void SetCheckedOptions(TCheckedOptions o);
  bool Hovered() const { return hover_; }

  // The state as drawn: which aspects are "on", whether sunken, and the
  // caption, colours and text origin that follow from it.
  struct TLook {
    bool glyphOn, textOn, textColOn, btnColOn, sunken;
    QString caption;
    QColor faceColor, textColor;
    QPoint textOrigin;  // top-left of the caption block, offsets included
    QFont font;         // the caption's font
  };
  TLook CurrentLook() const;

  // The face inside the bevel: the caption and the glyph stay inside it.
  QRect CaptionRect() const;
  // The button's font, or a pixel or two smaller where the wider caption
  // would not fit the face otherwise.
  QFont CaptionFont() const;
  // Every line of both captions where the button draws it, raised and held
  // down.
  TCaptionBoxes Captions() override;

  int PaintCount() const { return paintCount_; }

  // Whether the button covers every one of its pixels, so that nothing
  // beneath it (a chart, a gradient) is drawn again when it repaints.
  bool Opaque() const;

protected:
  void Redraw() override { DrawState(); }
  void DrawState() override;
  void FlashState(bool on) override;
  void paintEvent(QPaintEvent *e) override;
  void enterEvent(QEnterEvent *e) override;
  void leaveEvent(QEvent *e) override;
  void changeEvent(QEvent *e) override;

private:
  // The raised caption's light and dark copies lie a pixel to either side.
  int TextMargin() const { return text3D_ ? 1 : 0; }
  QPoint TextOrigin(const QString &caption, bool sunken, const QFont &font) const;

  QString textOn_, textOff_;
  QColor textColOn_ = clLime, textColOff_ = clBlack, textColDisabled_ = clBtnShadow();
  bool text3D_ = true;
  QColor colorOn_ = clBtnFace(), colorOff_ = clBtnFace(), colorDisabled_{0xA0, 0xA0, 0xA0};
  TInsGradSettings grad_;
  TInsBtnBevel bevel_;
  bool beveled_ = true, flat_ = false, transparent_ = false;
  QPixmap glyph_;
  int numGlyph_ = 1;
  TPos posGlyph_ = pLeft;
  TPosH posH_ = phCenter;
  TPosV posV_ = pvCenter;
  int spacing_ = 4, offsetX_ = 0, offsetY_ = 0, offsetDown_ = 1;
  TFlashOptions flashOptions_{foGlyph, foText, foTextCol, foBtnCol};
  TCheckedOptions checkedOptions_{coGlyph, coText, coTextCol, coBtnCol, coBevel};
  bool hover_ = false;
  int paintCount_ = 0;
};

// The graph window's four buttons ("Copiar", "Zoom", "Mover", "Imprimir"),
// index 0 .. 3: size, captions, colours and font as that window shows them.
void ApplyGraphButtonLook(TInsColBitBtn &button, int index);
