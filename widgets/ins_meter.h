#pragma once

#include "widgets/analog_control.h"
#include "widgets/scale_draw.h"

#include <QFont>
#include <QImage>
#include <QPolygonF>

enum TArrowShape { asLine, asNeedle, asTriangle };

// The pointer of a round meter and its two hub circles.
class TArrowSettings : public TInsSettings {
public:
  TArrowShape Shape() const { return shape_; }
  void SetShape(TArrowShape v) { Set(shape_, v); }
  QColor ColorPen() const { return pen_; }
  void SetColorPen(const QColor &c) { Set(pen_, c); }
  QColor ColorBrush() const { return brush_; }
  void SetColorBrush(const QColor &c) { Set(brush_, c); }
  QColor ColorCP1Pen() const { return cp1Pen_; }
  void SetColorCP1Pen(const QColor &c) { Set(cp1Pen_, c); }
  QColor ColorCP1Brush() const { return cp1Brush_; }
  void SetColorCP1Brush(const QColor &c) { Set(cp1Brush_, c); }
  QColor ColorCP2Pen() const { return cp2Pen_; }
  void SetColorCP2Pen(const QColor &c) { Set(cp2Pen_, c); }
  QColor ColorCP2Brush() const { return cp2Brush_; }
  void SetColorCP2Brush(const QColor &c) { Set(cp2Brush_, c); }
  // Hub circle radii in pixels (outer CP1, inner CP2); 0 hides a circle.
  int CP1Radius() const { return cp1Radius_; }
  void SetCP1Radius(int v) {  // negative ignored
    if (v >= 0) Set(cp1Radius_, v);
  }
  int CP2Radius() const { return cp2Radius_; }
  void SetCP2Radius(int v) {  // negative ignored
    if (v >= 0) Set(cp2Radius_, v);
  }

private:
  TArrowShape shape_ = asNeedle;
  QColor pen_ = clBlack, brush_ = clLime;
  QColor cp1Pen_ = clBlack, cp1Brush_ = clBlack, cp2Pen_ = clBlack, cp2Brush_ = clBtnFace();
  int cp1Radius_ = 5, cp2Radius_ = 2;
};

// A pointer meter over an arc scale: bevels and names like the other
// analogue widgets, an arc of labels and ticks with three sector bands, the
// unit, and a needle that blinks red and yellow while the value is out of
// range or beyond a limit. Frame, scale and bands are kept in a picture; a
// value change composes only the scale area from it.
class TInsRMeter : public TInsAnalogGControl {
public:
  enum TRMeterOption { opBevelInner, opBevelOuter, opName1, opName2, opOverflow, opLimit, opSector, opUnit };
  using TRMeterOptions = TSet<TRMeterOption>;
  static TRMeterOptions AllOptions();

  static constexpr int kBlinkRate = 4;  // phase changes every 256 ms
  static const QColor kBlinkOnColor;    // red
  static const QColor kBlinkOffColor;   // yellow

  explicit TInsRMeter(QWidget *parent = nullptr);
  ~TInsRMeter() override;

  TRMeterOptions Options() const { return options_; }
  void SetOptions(TRMeterOptions o);
  QFont FontUnit() const { return fontUnit_; }
  void SetFontUnit(const QFont &f) { SetSetting(fontUnit_, f); }
  QColor FontUnitColor() const { return fontUnitColor_; }
  void SetFontUnitColor(const QColor &c) { SetSetting(fontUnitColor_, c); }
  TScaleSettings &ScaleSettings() { return scale_; }
  TArrowSettings &ArrowSettings() { return arrow_; }

  // Scale geometry: start angle in degrees clockwise from straight up (300
  // for the 120-degree meter) and sweep.
  int StartAngle() const { return startAngle_; }
  int SweepAngle() const { return sweepAngle_; }
  // The needle's angle now: start + sweep * Position / 1000.
  double NeedleAngle() const;
  // Angle of a per-mille position on the scale.
  double AngleOf(int position) const;

  // Geometry of the last layout.
  bool TooSmall() { return Sync().tooSmall; }
  QRect ScaleArea() { return Sync().area; }
  QPointF ArcCentre() { return Sync().centre; }
  int ArcRadius() { return Sync().radius; }
  QRect ValueArea() { return Sync().valueArea; }
  const TScaleDiv &ScaleDiv() { return Sync().div; }
  // The names and the scale labels, each with the room it has: its name
  // rectangle, the scale area.
  TCaptionBoxes Captions() override;
  // Needle outline at the current angle, in widget coordinates.
  QPolygonF NeedlePolygon() const;
  QPointF NeedleTip() const;

  // Blinking: registered with the blink service, and the needle's fill now.
  bool Blinking() const { return blinking_; }
  QColor NeedleFillColor() const { return needleFill_; }

  int NeedlePaintCount() const { return needleLayer_->PaintCount(); }

protected:
  // For the fixed-geometry descendants.
  void SetScaleGeometry(int startAngle, int sweepAngle);
  void SetHeightFactor(double f);
  // The 120-degree meter widens its scale area; the round one keeps it.
  virtual QRect AdjustScaleArea(const QRect &area) const { return area; }

  TFrameParts FrameParts() const override;
  // The width stands; the height follows it by the meter's height factor.
  QSize AutoSizeFor() const override;
  void Arrange() override;
  void PaintStill(QPainter &p) const override;
  void ValueChanged() override;
  void OverflowChanged() override;
  void LimitChanged() override;

private:
  struct TLayout {
    bool tooSmall = true;
    TFrame frame;     // its inside is where the inner bevel goes
    QRect area;       // the scale area
    QRect valueArea;  // what a value change repaints
    QPointF centre;
    int radius = 0, mainTick = 0, subTick = 0;
    TScaleDiv div;
    TScaleMetrics metrics;
    TScaleMap map;  // value -> degrees clockwise from up
    int unitY = 0;
  };
  const TLayout &Sync() {
    SyncLayout();
    return layout_;
  }
  TLayout ComputeLayout() const;
  void PaintSectors(QPainter &p) const;
  void PaintNeedleArea(QPainter &p, const QRect &r);
  void UpdateBlinking();

  TRMeterOptions options_;
  QFont fontUnit_;
  QColor fontUnitColor_ = clBlack;
  TScaleSettings scale_;
  TArrowSettings arrow_;
  int startAngle_ = 225, sweepAngle_ = 270;
  double heightFactor_ = 1.0;

  TLayout layout_;
  QImage needleImage_;
  TInsValueLayer *needleLayer_ = nullptr;
  bool blinking_ = false;
  QColor needleFill_ = clLime;
};

// The 120-degree meter: start 300 degrees, sweep 120, five scale steps.
class TIns120Meter : public TInsRMeter {
public:
  explicit TIns120Meter(QWidget *parent = nullptr);

protected:
  QRect AdjustScaleArea(const QRect &area) const override;
};

// The 120-degree meter as the main window uses it (its data-aware side is
// not part of this program).
class TInsDB120Meter : public TIns120Meter {
public:
  explicit TInsDB120Meter(QWidget *parent = nullptr);
};
