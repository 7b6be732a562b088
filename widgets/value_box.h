#pragma once

#include "widgets/analog_control.h"

#include <QFont>
#include <QImage>

// An analogue widget that writes its value in a sunken box, the unit beside
// it: the value indicator and the thermometer. The text inside the box is a
// value layer of its own, so a value change repaints only it; the box's frame
// and the unit belong to the widget's own picture.
class TInsValueBoxGControl : public TInsAnalogGControl {
public:
  // Font of the value and the unit; the unit takes the widget font's colour.
  QFont FontValue() const { return fontValue_; }
  void SetFontValue(const QFont &f) { SetSetting(fontValue_, f); }
  QColor FontValueColor() const { return fontValueColor_; }
  void SetFontValueColor(const QColor &c) { SetSetting(fontValueColor_, c); }
  TInsSBevel &BevelValue() { return bevelValue_; }

  int ValuePaintCount() const { return valueLayer_->PaintCount(); }

protected:
  // The value is composed in an image of `format`: RGB32 takes the box
  // colour whole, a format with alpha lets a translucent box show through.
  TInsValueBoxGControl(QWidget *parent, const QColor &valueColor, const QColor &boxColor, QImage::Format format);

  // The box: its frame, where the text goes, and where the unit starts.
  struct TValueBox {
    QRect Box, Text;
    int UnitX = 0, UnitY = 0;
  };
  // The box at `top` of a strip `width` wide from `left`, centred as its
  // format sample and the unit need; as wide as the format sample, not as
  // the value now.
  TValueBox LayoutValueBox(int left, int width, int top, bool unit) const;
  // What box and unit need: the format sample, the unit, the frame and a
  // third of the text height on either side of the text.
  QSize ValueBoxNeed(bool unit) const;
  // The frame and the unit (the text is the layer's).
  void PaintValueBox(QPainter &p, const TValueBox &b, bool unit) const;
  // Where the text layer goes, and whether it shows at all.
  void PlaceValueText(const QRect &r, bool shown);
  TInsValueLayer *ValueTextLayer() const { return valueLayer_; }

  void StaleChanged() override;

private:
  void PaintValue(QPainter &p, const QRect &r);

  QFont fontValue_;
  QColor fontValueColor_;
  TInsSBevel bevelValue_;
  QImage::Format valueFormat_;
  QImage valueImage_;
  TInsValueLayer *valueLayer_ = nullptr;
};
