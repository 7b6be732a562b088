#pragma once

#include "widgets/binary_control.h"
#include "widgets/ins_colors.h"

#include <QImage>

#include <functional>

enum TLEDShape { sRound, sArrowLeft, sArrowRight, sArrowUp, sArrowDown, sRectangle };
enum TLEDPos { lpLeft, lpRight, lpTop, lpBottom };

// The lamp of an LED widget.
class TLED {
public:
  TLEDShape Shape() const { return shape_; }
  void SetShape(TLEDShape s);
  int Width() const { return width_; }
  void SetWidth(int v);  // 4 .. 40, others ignored
  int Height() const { return height_; }
  void SetHeight(int v);  // 4 .. 40, others ignored
  QColor ColorOn() const { return colorOn_; }
  void SetColorOn(const QColor &c);
  QColor ColorOff() const { return colorOff_; }
  void SetColorOff(const QColor &c);

  // The lamp's drawn size: a round lamp is as wide as high, the larger side.
  QSize LampSize() const;

  std::function<void()> OnChange;

private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TLEDShape shape_ = sRound;
  int width_ = 13, height_ = 13;
  QColor colorOn_ = clLime, colorOff_ = clBtnFace();
};

class TInsLED : public TInsBinGControl {
public:
  explicit TInsLED(QWidget *parent = nullptr);

  TLED &LED() { return led_; }
  TLEDPos LED_Position() const { return position_; }
  void SetLED_Position(TLEDPos p);
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  QString Caption() const { return caption_; }
  void SetCaption(const QString &c);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c);

  // Where the lamp is drawn in the widget.
  QRect LampRect() const;

protected:
  void DrawState() override;
  void FlashState(bool on) override;
  void paintEvent(QPaintEvent *e) override;

private:
  void PaintLamp(QPainter &p, const QRect &r, const QColor &c) const;
  // The lamp in one colour, composed off-screen and kept until size, shape
  // or colour change, so blinking copies one small image.
  const QImage &LampImage(const QSize &size, const QColor &c);

  QImage lampImage_;
  QRgb lampColor_ = 0;
  TLEDShape lampShape_ = sRound;

  TLED led_;
  TLEDPos position_ = lpLeft;
  int spacing_ = 5;
  QString caption_;
  QColor fontColor_ = clBlack;
};
