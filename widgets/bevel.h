#pragma once

#include "widgets/gradient.h"

#include <QColor>
#include <QRect>

#include <functional>

class QPainter;

enum TBevelStyle { bsLowered, bsRaised };
enum TBevelLine { blNone, blOuter, blInner, blBoth };

// Extra space a bevel leaves around its content.
struct TInsOffset {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TInsOffset &o) const {
    return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
  }
};

// Draws `width` nested one-pixel frames, outermost first; frame i (1-based)
// takes from + round((to - from) / width * i) per component, upper-left in
// one colour ramp and lower-right in the other. The rectangle shrinks past
// the frames.
void DrawFrames3D(QPainter &p, QRect &r, int width, const QColor &ulFrom, const QColor &ulTo, const QColor &lrFrom,
                  const QColor &lrTo);

// A framed area: fill, 3-D frames, optional surface gradient and extra
// outlines, then inner spacing.
class TInsSBevel {
public:
  TInsSBevel();

  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle v);
  int Width() const { return width_; }
  void SetWidth(int v);  // negative ignored
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  TBevelLine BevelLine() const { return bevelLine_; }
  void SetBevelLine(TBevelLine v);
  QColor Color() const { return color_; }
  void SetColor(const QColor &v);
  QColor PenColor() const { return penColor_; }
  void SetPenColor(const QColor &v);
  QColor ColorHighLightFrom() const { return hlFrom_; }
  void SetColorHighLightFrom(const QColor &v);
  QColor ColorHighLightTo() const { return hlTo_; }
  void SetColorHighLightTo(const QColor &v);
  QColor ColorShadowFrom() const { return shFrom_; }
  void SetColorShadowFrom(const QColor &v);
  QColor ColorShadowTo() const { return shTo_; }
  void SetColorShadowTo(const QColor &v);
  TInsGradSettings &SurfaceGrad() { return surfaceGrad_; }
  const TInsGradSettings &SurfaceGrad() const { return surfaceGrad_; }
  TInsOffset Offset() const { return offset_; }
  void SetOffset(const TInsOffset &v);

  // Spacing + Width, plus 1 for one extra outline, 2 for both.
  int BorderSize() const;

  // Paints into r; r becomes the content rectangle.
  void Paint(QPainter &p, QRect &r) const;

  std::function<void()> OnChange;

private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TBevelStyle style_ = bsRaised;
  int width_ = 2, spacing_ = 5;
  TBevelLine bevelLine_ = blNone;
  QColor color_, penColor_{0, 0, 0};
  QColor hlFrom_, hlTo_, shFrom_, shTo_;
  TInsGradSettings surfaceGrad_;
  TInsOffset offset_;
};
