#pragma once

#include "widgets/analog_control.h"
#include "widgets/bevel.h"

#include <QFont>
#include <QImage>

enum TValueIndOption { opBevelInner, opBevelOuter, opName1, opName2, opUnit };
using TValueIndOptions = TSet<TValueIndOption>;

// Numeric value indicator: names under a sunken value box, the unit beside
// it. A value change repaints only the box, through an off-screen image.
class TInsValueInd : public TInsAnalogGControl {
public:
  explicit TInsValueInd(QWidget *parent = nullptr);

  TValueIndOptions Options() const { return options_; }
  void SetOptions(TValueIndOptions o);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  QFont FontValue() const { return fontValue_; }
  void SetFontValue(const QFont &f);
  QColor FontValueColor() const { return fontValueColor_; }
  void SetFontValueColor(const QColor &c);
  // The widget font (names and the unit's colour).
  QFont Font() const { return font(); }
  void SetFont(const QFont &f);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c);
  TInsSBevel &BevelInner() { return bevelInner_; }
  TInsSBevel &BevelOuter() { return bevelOuter_; }
  TInsSBevel &BevelValue() { return bevelValue_; }

  // The minimum size the contents need.
  QSize MinimumContentSize() const;
  // The value box (frame included) and its inside where the text goes.
  QRect ValueBoxRect() const;
  QRect ValueInsideRect() const;
  // The names, each with its rectangle as its room.
  TCaptionBoxes Captions() const;

  // Paint statistics, for checking that value changes stay inside the box:
  // paints of the whole body (and the area they covered) and of the value.
  int BodyPaintCount() const { return bodyPaints_; }
  qint64 BodyPaintedArea() const { return bodyArea_; }
  int ValuePaintCount() const { return valuePaints_; }
  void ResetPaintStats() {
    bodyPaints_ = valuePaints_ = 0;
    bodyArea_ = 0;
  }

protected:
  void ValueChanged() override;
  void StaleChanged() override;
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;
  void changeEvent(QEvent *e) override;

private:
  struct TLayout {
    QRect box, inside, valueRect;
    int unitX = 0, unitY = 0;
    QRect name1, name2;
    QRect innerArea;  // where the inner bevel goes
    int name1Y = 0, name2Y = 0;
  };
  TLayout ComputeLayout() const;
  void Measure();
  void PaintValue(QPainter &p, const QRect &inside);

  TValueIndOptions options_{opName1, opName2, opUnit};
  bool autoSize_ = true;
  QFont fontValue_;
  QColor fontValueColor_ = clLime;
  QColor fontColor_ = clBlack;
  TInsSBevel bevelInner_, bevelOuter_, bevelValue_;
  TLayout layout_;
  QImage valueImage_;
  int bodyPaints_ = 0, valuePaints_ = 0;
  qint64 bodyArea_ = 0;
};
