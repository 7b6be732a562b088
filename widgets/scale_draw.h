#pragma once

#include "widgets/ins_colors.h"
#include "widgets/scale_engine.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QPainter;

// Sizes of a tick scale, all following from the label font's text height h:
// ticks and gaps grow with the font so a larger scale font keeps its look.
struct TScaleMetrics {
  int TextHeight = 0;
  int MainTickLength = 0;  // round(h / 1.4)
  int MainPenWidth = 0;    // round(h / 14); drawn at least 1 pixel wide
  int SubTickLength = 0;   // half the main tick at pen 1, else round(main / 1.4)
  int LabelGap = 0;        // h / 3
  int WidestLabel = 0;
  int ScaleWidth = 0;  // widest label + main tick + gap
};

// The tick scale of the thermometer and the meter.
class TScaleSettings {
public:
  TScaleSettings();

  int Steps() const { return steps_; }
  void SetSteps(int v);  // below 1 ignored
  int SubSteps() const { return subSteps_; }
  void SetSubSteps(int v);  // below 1 ignored
  QString ValueFormat() const { return valueFormat_; }
  void SetValueFormat(const QString &v);
  QString ValueFormatLog() const { return valueFormatLog_; }
  void SetValueFormatLog(const QString &v);
  QColor Color() const { return color_; }
  void SetColor(const QColor &c);
  QColor PointerColor() const { return pointerColor_; }
  void SetPointerColor(const QColor &c);
  bool DrawLine() const { return drawLine_; }
  void SetDrawLine(bool v);
  QFont Font() const { return font_; }
  void SetFont(const QFont &f);
  bool PosLeftTop() const { return posLeftTop_; }
  void SetPosLeftTop(bool v);

  // The ticks and labels for a value range.
  TScaleDiv Divide(double from, double to) const;
  // The derived sizes for these labels in the scale font.
  TScaleMetrics Measure(const TScaleDiv &div) const;

  std::function<void()> OnChange;

private:
  void Changed() {
    if (OnChange) OnChange();
  }
  int steps_ = 5, subSteps_ = 2;
  QString valueFormat_ = "##0", valueFormatLog_ = "0e-0";
  QColor color_ = clBlack, pointerColor_ = clLime;
  bool drawLine_ = true;
  QFont font_;
  bool posLeftTop_ = false;
};

// A vertical scale beside a column. tickX is the tick end nearest the column;
// the ticks point away from it (left when ticksLeft). Labels are centred on
// their main ticks and kept whole inside labelLeft .. labelRight (exclusive),
// so a tight widget moves a label towards its tick rather than cutting the
// minus sign off a negative value.
void DrawLinearScale(QPainter &p, const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                     const TScaleMap &valueToY, int tickX, bool ticksLeft, int labelLeft, int labelRight);

// Point at `angle` degrees clockwise from straight up, `radius` from centre.
QPointF PointOnCircle(const QPointF &centre, double radius, double angleDeg);

// A scale round an arc: ticks inside the circle of `Radius`, starting one
// label gap in, the base line (DrawLine) along the ticks' outer ends, and each
// label beyond its tick, its nearest edge one label gap out from the ticks'
// circle along the tick's direction. A label beside the arc thus moves out by
// its width and one above it by its height, and none sits on a tick's end.
// valueToAngle gives degrees clockwise from up.
struct TArcScaleGeometry {
  QPointF Centre;
  int Radius = 0;
  int MainTickLength = 0;
  int SubTickLength = 0;
};
void DrawArcScale(QPainter &p, const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                  const TScaleMap &valueToAngle, const TArcScaleGeometry &g);

// Where DrawArcScale puts a label `width` pixels wide at `angleDeg`, and
// where it puts each label of a scale (in the order of div.Labels).
QRect ArcLabelRect(const TArcScaleGeometry &g, const TScaleMetrics &m, double angleDeg, int width);
std::vector<QRect> ArcLabelRects(const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                                 const TScaleMap &valueToAngle, const TArcScaleGeometry &g);

// Pixels kept clear between an arc scale's labels and the edge of its room.
constexpr int kArcLabelClearance = 2;

// The largest arc scale whose labels (kArcLabelClearance inside), arc and a
// hub of `hubRadius` round its centre all lie inside `room`: the centre on the room's middle column, as
// high as the labels above it allow. Radius 0 when not even a small one fits.
// Tick lengths are left to the caller.
TArcScaleGeometry FitArcScale(const QRect &room, const TScaleSettings &s, const TScaleMetrics &m, const TScaleDiv &div,
                              const TScaleMap &valueToAngle, int hubRadius);
