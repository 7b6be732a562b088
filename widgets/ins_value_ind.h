#pragma once

#include "widgets/value_box.h"

enum TValueIndOption { opBevelInner, opBevelOuter, opName1, opName2, opUnit };
using TValueIndOptions = TSet<TValueIndOption>;

// Numeric value indicator: names under a sunken value box, the unit beside
// it. A value change repaints only the box, through an off-screen image.
class TInsValueInd : public TInsValueBoxGControl {
public:
  explicit TInsValueInd(QWidget *parent = nullptr);

  TValueIndOptions Options() const { return options_; }
  void SetOptions(TValueIndOptions o) { SetSetting(options_, o); }

  // The minimum size the contents need.
  QSize MinimumContentSize() const;
  // The value box (frame included) and its inside where the text goes.
  QRect ValueBoxRect() const { return layout_.box.Box; }
  QRect ValueInsideRect() const { return layout_.box.Text; }
  // The names, each with its rectangle as its room.
  TCaptionBoxes Captions() override { return NameCaptions(layout_.frame); }

  // Paints of the whole body and the area they covered; the value's are
  // ValuePaintCount.
  int BodyPaintCount() const { return PaintCount(); }
  qint64 BodyPaintedArea() const { return PaintedArea(); }

protected:
  TFrameParts FrameParts() const override;
  void Arrange() override;
  void ValueChanged() override;
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;

private:
  struct TLayout {
    TFrame frame;  // its inside is where the inner bevel goes
    TValueBox box;
  };
  TLayout ComputeLayout() const;
  // AutoSize takes exactly the minimum size; without it the indicator only
  // grows to it.
  void Measure();

  TValueIndOptions options_{opName1, opName2, opUnit};
  TLayout layout_;
};
