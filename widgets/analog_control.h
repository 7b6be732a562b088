#pragma once

#include "runtime/date_format.h"
#include "runtime/format_settings.h"
#include "widgets/bevel.h"
#include "widgets/captions.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_graphic_control.h"
#include "widgets/ins_set.h"
#include "widgets/setter.h"
#include "widgets/value_layer.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The scale of an analogue widget: raw (digital) and engineering ends, the
// number format and the texts. Derived spans and factors are recomputed on
// every change; an end equal to the other end is refused so the span never
// collapses to 0.
class TSignalSettings {
public:
  TSignalSettings();

  int DigitalFrom() const { return digitalFrom_; }
  void SetDigitalFrom(int v);
  int DigitalTo() const { return digitalTo_; }
  void SetDigitalTo(int v);
  float ValueFrom() const { return valueFrom_; }
  void SetValueFrom(float v);  // exactly 0 is stored as 0.000001
  float ValueTo() const { return valueTo_; }
  void SetValueTo(float v);
  QString ValueFormat() const { return valueFormat_; }
  void SetValueFormat(const QString &v);
  QString ValueUnit() const { return valueUnit_; }
  void SetValueUnit(const QString &v);
  QString Name1() const { return name1_; }
  void SetName1(const QString &v);
  QString Name2() const { return name2_; }
  void SetName2(const QString &v);

  // Derived.
  float ValueSpan() const { return valueSpan_; }
  int DigitSpan() const { return digitSpan_; }
  double ValuePerDigit() const { return valuePerDigit_; }
  double DigitsPerValue() const { return digitsPerValue_; }
  double PerMilleFactor() const { return perMilleFactor_; }
  QString FormatSample() const { return formatSample_; }
  // Position of an engineering value on the scale: 0 at the start, 1000 at
  // the end (not clamped).
  int PerMille(double v) const;

  // The owner's hook, run after every accepted change.
  std::function<void()> OnChange;

private:
  void Recompute();
  void Changed();

  int digitalFrom_ = 0, digitalTo_ = 1000;
  float valueFrom_ = 0, valueTo_ = 100;
  QString valueFormat_ = "##0.0", valueUnit_ = "%", name1_ = "SignalName1", name2_ = "SignalName2";
  float valueSpan_ = 100;
  int digitSpan_ = 1000;
  double valuePerDigit_ = 0.1, digitsPerValue_ = 10, perMilleFactor_ = 10;
  QString formatSample_ = "##0.0";
};

// Three colour bands over the per-mille scale.
class TSectorSettings : public TInsSettings {
public:
  QColor Sector1Color() const { return color_[0]; }
  void SetSector1Color(const QColor &c) { SetColor(0, c); }
  QColor Sector2Color() const { return color_[1]; }
  void SetSector2Color(const QColor &c) { SetColor(1, c); }
  QColor Sector3Color() const { return color_[2]; }
  void SetSector3Color(const QColor &c) { SetColor(2, c); }
  int Sector1From() const { return from_[0]; }
  void SetSector1From(int v) { SetFrom(0, v); }
  int Sector1To() const { return to_[0]; }
  void SetSector1To(int v) { SetTo(0, v); }
  int Sector2From() const { return from_[1]; }
  void SetSector2From(int v) { SetFrom(1, v); }
  int Sector2To() const { return to_[1]; }
  void SetSector2To(int v) { SetTo(1, v); }
  int Sector3From() const { return from_[2]; }
  void SetSector3From(int v) { SetFrom(2, v); }
  int Sector3To() const { return to_[2]; }
  void SetSector3To(int v) { SetTo(2, v); }
  int Offset() const { return offset_; }
  void SetOffset(int v) { Set(offset_, v); }
  int WidthOffset() const { return widthOffset_; }
  void SetWidthOffset(int v) { Set(widthOffset_, v); }

  // Index-based access for loops; sector is 0, 1 or 2.
  QColor Color(int sector) const { return color_[sector]; }
  int From(int sector) const { return from_[sector]; }
  int To(int sector) const { return to_[sector]; }
  void SetColor(int sector, const QColor &c);
  void SetFrom(int sector, int v);
  void SetTo(int sector, int v);

  // Colour of the first band holding p, if any.
  std::optional<QColor> SectorColorAt(int p) const;

private:
  QColor color_[3] = {clYellow, clGreen, clRed};
  int from_[3] = {0, 334, 667};
  int to_[3] = {333, 666, 1000};
  int offset_ = 0, widthOffset_ = 0;
};

// Extreme values seen since loading.
class TMinMax : public TInsSettings {
public:
  TMinMax();

  static constexpr float kMinStart = 9999999.0f;
  static constexpr float kMaxStart = -9999999.0f;

  float Min() const { return min_; }
  float Max() const { return max_; }
  TDateTimeParts MinDateTime() const { return minDateTime_; }
  TDateTimeParts MaxDateTime() const { return maxDateTime_; }
  int MinPosition() const { return minPosition_; }
  int MaxPosition() const { return maxPosition_; }
  QColor MinColor() const { return minColor_; }
  void SetMinColor(const QColor &c) { Set(minColor_, c); }
  QColor MaxColor() const { return maxColor_; }
  void SetMaxColor(const QColor &c) { Set(maxColor_, c); }
  bool UseSectorCol() const { return useSectorCol_; }
  void SetUseSectorCol(bool v) { Set(useSectorCol_, v); }
  bool MinVisible() const { return minVisible_; }
  void SetMinVisible(bool v) { Set(minVisible_, v); }
  bool MaxVisible() const { return maxVisible_; }
  void SetMaxVisible(bool v) { Set(maxVisible_, v); }

  void Reset();  // back to the start values, nothing seen

private:
  friend class TInsAnalogGControl;
  float min_ = kMinStart, max_ = kMaxStart;
  TDateTimeParts minDateTime_, maxDateTime_;
  int minPosition_ = 0, maxPosition_ = 0;
  QColor minColor_ = clAqua, maxColor_ = clAqua;
  bool useSectorCol_ = true, minVisible_ = true, maxVisible_ = true;
};

// The value text of a widget whose value is stale.
inline const QColor kStaleValueColor = clGray;

enum THintOption { hoAutoHint, hoValue, hoName1, hoName2, hoMin, hoMax, hoMinMaxDate, hoMinMaxTime };
using THintOptions = TSet<THintOption>;
THintOptions AllHintOptions();

// The analogue value model shared by the value indicator, the thermometer
// and the meter: a value becomes formatted text, a per-mille position,
// sector, limit and range states and extremes, each reported once when it
// changes. Widgets override the notifications to repaint what shows them.
// It also holds what the three draw alike round the value (the bevels, the
// names, the widget font) and the way they repaint: each part that shows the
// value is a layer of its own, composed over a still picture of the rest.
class TInsAnalogGControl : public TInsGraphicControl {
public:
  explicit TInsAnalogGControl(QWidget *parent = nullptr);

  float Value() const { return value_; }
  void SetValue(float v);
  int Digit() const { return digit_; }
  void SetDigit(int d);
  float LimitUpper() const { return limitUpper_; }
  void SetLimitUpper(float x);
  float LimitLower() const { return limitLower_; }
  void SetLimitLower(float x);  // exactly 0 is stored as 0.0001
  THintOptions HintOptions() const { return hintOptions_; }
  void SetHintOptions(THintOptions o);
  // A value that is no longer current (its source went quiet): the value
  // text is drawn in kStaleValueColor until this is cleared. The value, its
  // states and extremes stay as they are.
  bool Stale() const { return stale_; }
  void SetStale(bool v);
  // With hoAutoHint, the hint made afresh from what the widget shows now,
  // over one its owner set for a while (an alarm's).
  void RemakeAutoHint() {
    if (hintOptions_.Has(hoAutoHint)) UpdateHint();
  }

  TSignalSettings &SignalSettings() { return signal_; }
  const TSignalSettings &SignalSettings() const { return signal_; }
  TSectorSettings &SectorSettings() { return sectors_; }
  const TSectorSettings &SectorSettings() const { return sectors_; }
  TMinMax &MinMax() { return minMax_; }
  const TMinMax &MinMax() const { return minMax_; }

  // The instrument round the value: the widget font and its colour (the
  // names; beside a value box, the unit's colour), the outer and inner
  // bevels, and whether the widget takes the size its contents need.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v) { SetSetting(autoSize_, v); }
  QFont Font() const { return font(); }
  void SetFont(const QFont &f);  // a font set on the widget directly is measured alike
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c) { SetSetting(fontColor_, c); }
  TInsSBevel &BevelInner() { return bevelInner_; }
  const TInsSBevel &BevelInner() const { return bevelInner_; }
  TInsSBevel &BevelOuter() { return bevelOuter_; }
  const TInsSBevel &BevelOuter() const { return bevelOuter_; }

  // Paint statistics, for checking that a value change repaints only what
  // shows the value: paints of the widget itself and the area they covered;
  // its value layers count their own.
  int PaintCount() const { return paintCount_; }
  qint64 PaintedArea() const { return paintedArea_; }
  void ResetPaintStats();

  // Working state of the last evaluation.
  QString ValueText() const { return valueText_; }
  QString DigitText() const { return digitText_; }
  int Position() const { return position_; }  // 0 .. 1000
  int LimitUpperPosition() const { return limitUpperPos_; }
  int LimitLowerPosition() const { return limitLowerPos_; }
  // False until a value has been weighed against the limits: the limit flags
  // start set only so that the first evaluation reports.
  bool LimitsEvaluated() const { return limitsEvaluated_; }
  bool AboveUpper() const { return above_; }
  bool BelowLower() const { return below_; }
  bool OverRange() const { return overRange_; }
  bool UnderRange() const { return underRange_; }
  bool InSector(int sector) const { return inSector_[sector]; }
  std::optional<QColor> SectorColor() const { return sectorColor_; }

  // Form loading: while loading, settings and values are only stored. Loaded()
  // ends it, resets the extremes and brings texts and layout up to date.
  void BeginLoading();
  void Loaded();
  bool Loading() const { return loading_; }

  // Events, run under the standard handler with the widget as sender.
  std::function<void(QObject *Sender)> OnValueChange;
  std::function<void(QObject *Sender, bool Below, bool Above)> OnLimit;
  std::function<void(QObject *Sender, int Position)> OnOverflow;
  std::function<void(QObject *Sender, int Sector, bool InBand)> OnSectorChange;
  std::function<void(QObject *Sender)> OnSettingsChange;
  std::function<void(QObject *Sender)> OnMinMaxChange;

protected:
  // The common part of a value change; widgets call it first and then
  // repaint what shows the value.
  virtual void ValueChanged();
  virtual void OverflowChanged() {}
  virtual void LimitChanged() {}
  virtual void MinMaxChanged() {}
  // Repaints the value text after a change of Stale.
  virtual void StaleChanged() {}
  // The colour of the value text: `normal`, or kStaleValueColor while stale.
  QColor ValueTextColor(const QColor &normal) const { return stale_ ? kStaleValueColor : normal; }
  void SettingsChanged() override;

  // Texts and position from the current value and settings, no events; for
  // painting after a format or separator change.
  void RefreshTexts();
  // RefreshTexts only when the program's separators changed since the value
  // text was made (the main window sets the decimal comma on activation).
  void EnsureTextsCurrent();

  // A setting of the widget's own: an equal value is ignored, another one is
  // stored and applied (once loading is over). True when it was stored.
  template <typename T>
  bool SetSetting(T &field, const T &v) {
    if (!Assign(field, v)) return false;
    SettingsObjectChanged();
    return true;
  }
  // Change(), unless the form is still loading.
  void SettingsObjectChanged();

  // Which parts of the instrument the widget's options show.
  struct TFrameParts {
    bool BevelOuter = false, BevelInner = false, Name1 = false, Name2 = false;
  };
  virtual TFrameParts FrameParts() const { return {}; }
  // The outer bevel round the whole widget and the names at the bottom
  // (Name2 lowest, Name1 above it), each line as wide as the bevel's inside;
  // Inside is what they leave for the rest.
  struct TFrame {
    QRect Inside, Name1, Name2;
  };
  TFrame LayoutFrame() const;
  // What a shown bevel takes from the width and from the height: its border
  // on both sides.
  int OuterAllowance() const;
  int InnerAllowance() const;
  // The shown names in the widget font: the widest one's width, the sum of
  // their heights.
  QSize NamesSize() const;
  // Paints the outer bevel and the names, centred at the top of their
  // rectangles in the widget font and colour (a pixel or two smaller for a
  // name too wide for its rectangle); the painter keeps the widget font and
  // the pen set here.
  void PaintFrameAndNames(QPainter &p, const TFrame &frame) const;
  // The inner bevel into `area`, when shown.
  void PaintBevelInner(QPainter &p, const QRect &area) const;
  // The names as PaintFrameAndNames draws them, each with its rectangle as
  // its room.
  TCaptionBoxes NameCaptions(const TFrame &frame) const;

  // The layout for the current size, made again on every resize, on being
  // shown and after every settings change; first, with AutoSize on a shown
  // widget, the widget takes AutoSizeFor(). A hidden widget gets its resize
  // event only when shown, so what reads the layout calls SyncLayout first.
  void Relayout();
  void SyncLayout() {
    if (size() != layoutSize_) Relayout();
  }
  // The size AutoSize gives the widget as it lays itself out; by default the
  // size it has, for a widget that sizes itself on its own.
  virtual QSize AutoSizeFor() const { return size(); }
  // The widget's own arrangement for size(): its layout and its layers.
  virtual void Arrange() {}

  // Everything but the value, transparent where the window shows through;
  // made again only after a layout or settings change. The widget's own paint
  // copies it, and the value layers compose themselves over their part of it.
  const QImage &StillPicture();
  virtual void PaintStill(QPainter &) const {}
  // The still picture's part under `area` (widget coordinates) into `copy`,
  // sized to it, for a layer to compose its part of the value on.
  void CopyStill(QImage &copy, const QRect &area);

  // A child showing part of the value: a value change repaints only these.
  TInsValueLayer *AddValueLayer(TInsValueLayer::PaintFn paint);
  void RepaintValueLayers();
  // A paint of the widget itself, over `area`, for the statistics.
  void CountPaint(const QRect &area);

  void paintEvent(QPaintEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;
  void showEvent(QShowEvent *e) override;
  void changeEvent(QEvent *e) override;

private:
  // One extreme's line of the automatic hint, kept with what it was made
  // from: the extremes seldom change while the hint is rebuilt on every value.
  struct THintLine {
    bool Made = false;
    float Value = 0;
    TDateTimeParts When;
    THintOptions Options;
    QString Format, Unit;
    TFormatSettings Formats;
    QString Text;
  };
  // A new value or raw value: evaluated, or while loading only its texts made.
  void TakeValue();
  void UpdateHint();
  const QString &ExtremeLine(THintLine &line, const char *label, float value, const TDateTimeParts &when);

  float value_ = 50;
  int digit_ = 500;
  float limitUpper_ = 90, limitLower_ = 10;
  int limitUpperPos_ = 900, limitLowerPos_ = 100;
  THintOptions hintOptions_;
  TSignalSettings signal_;
  TSectorSettings sectors_;
  TMinMax minMax_;
  THintLine minHint_, maxHint_;
  QString valueText_, digitText_;
  int position_ = 500;
  bool above_ = true, below_ = true;
  bool limitsEvaluated_ = false;
  bool overRange_ = false, underRange_ = false;
  bool inSector_[3] = {false, false, false};
  std::optional<QColor> sectorColor_;
  bool loading_ = false;
  bool stale_ = false;
  char textDecimal_ = 0, textThousand_ = 0;  // separators ValueText was made with

  bool autoSize_ = true;
  QColor fontColor_ = clBlack;
  TInsSBevel bevelInner_, bevelOuter_;
  QSize layoutSize_;
  QImage still_;
  bool stillDirty_ = true;
  std::vector<TInsValueLayer *> valueLayers_;
  int paintCount_ = 0;
  qint64 paintedArea_ = 0;
};
