#include "widgets/analog_control.h"

#include "runtime/application.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"
#include "widgets/bevel.h"
#include "widgets/text_layout.h"

#include <QPainter>

#include <climits>
#include <cmath>

namespace {

// Rounds half away from zero and keeps the result inside int, so a wild value
// cannot overflow the raw-value arithmetic.
int RoundToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= double(INT_MAX)) return INT_MAX;
  if (x <= double(INT_MIN)) return INT_MIN;
  return int(std::lround(x));
}

QString FormatValue(const QString &format, double v) {
  return QString::fromStdString(FormatFloat(format.toStdString(), v));
}

}  // namespace

// ---------------------------------------------------------------- TSignalSettings

TSignalSettings::TSignalSettings() { Recompute(); }

void TSignalSettings::SetDigitalFrom(int v) {
  if (v == digitalFrom_ || v == digitalTo_) return;
  digitalFrom_ = v;
  Changed();
}

void TSignalSettings::SetDigitalTo(int v) {
  if (v == digitalTo_ || v == digitalFrom_) return;
  digitalTo_ = v;
  Changed();
}

void TSignalSettings::SetValueFrom(float v) {
  if (v == valueFrom_ || v == valueTo_) return;
  valueFrom_ = (v == 0.0f) ? 0.000001f : v;
  Changed();
}

void TSignalSettings::SetValueTo(float v) {
  if (v == valueFrom_ || v == valueTo_) return;
  valueTo_ = v;
  Changed();
}

void TSignalSettings::SetValueFormat(const QString &v) {
  if (v == valueFormat_) return;
  valueFormat_ = v;
  Changed();
}

void TSignalSettings::SetValueUnit(const QString &v) {
  if (v == valueUnit_) return;
  valueUnit_ = v;
  Changed();
}

void TSignalSettings::SetName1(const QString &v) {
  if (v == name1_) return;
  name1_ = v;
  Changed();
}

void TSignalSettings::SetName2(const QString &v) {
  if (v == name2_) return;
  name2_ = v;
  Changed();
}

void TSignalSettings::Recompute() {
  if (!(valueFrom_ >= 0 && valueTo_ <= 0)) valueSpan_ = valueTo_ - valueFrom_;
  if (!(digitalFrom_ >= 0 && digitalTo_ <= 0)) digitSpan_ = digitalTo_ - digitalFrom_;
  if (digitSpan_ > 0) valuePerDigit_ = double(valueSpan_) / digitSpan_;
  if (valueSpan_ > 0) {
    digitsPerValue_ = double(digitSpan_) / valueSpan_;
    perMilleFactor_ = 1000.0 / valueSpan_;
  }
  const int semi = valueFormat_.indexOf(';');
  if (semi < 0) {
    formatSample_ = valueFormat_;
  } else {
    const QString first = valueFormat_.left(semi);
    const QString rest = valueFormat_.mid(semi + 1);
    formatSample_ = first.size() > rest.size() ? first : rest;
  }
}

void TSignalSettings::Changed() {
  Recompute();
  if (OnChange) OnChange();
}

int TSignalSettings::PerMille(double v) const { return RoundToInt((v - valueFrom_) * perMilleFactor_); }

// ---------------------------------------------------------------- TSectorSettings

void TSectorSettings::SetOffset(int v) {
  if (v == offset_) return;
  offset_ = v;
  Changed();
}

void TSectorSettings::SetWidthOffset(int v) {
  if (v == widthOffset_) return;
  widthOffset_ = v;
  Changed();
}

void TSectorSettings::SetColor(int sector, const QColor &c) {
  if (sector < 0 || sector > 2 || c == color_[sector]) return;
  color_[sector] = c;
  Changed();
}

void TSectorSettings::SetFrom(int sector, int v) {
  if (sector < 0 || sector > 2 || v == from_[sector]) return;
  from_[sector] = v;
  Changed();
}

void TSectorSettings::SetTo(int sector, int v) {
  if (sector < 0 || sector > 2 || v == to_[sector]) return;
  to_[sector] = v;
  Changed();
}

std::optional<QColor> TSectorSettings::SectorColorAt(int p) const {
  for (int i = 0; i < 3; ++i)
    if (p >= from_[i] && p <= to_[i]) return color_[i];
  return std::nullopt;
}

// ---------------------------------------------------------------- TMinMax

TMinMax::TMinMax() : minDateTime_(Now()), maxDateTime_(minDateTime_) {}

void TMinMax::SetMinColor(const QColor &c) {
  if (c == minColor_) return;
  minColor_ = c;
  Changed();
}

void TMinMax::SetMaxColor(const QColor &c) {
  if (c == maxColor_) return;
  maxColor_ = c;
  Changed();
}

void TMinMax::SetUseSectorCol(bool v) {
  if (v == useSectorCol_) return;
  useSectorCol_ = v;
  Changed();
}

void TMinMax::SetMinVisible(bool v) {
  if (v == minVisible_) return;
  minVisible_ = v;
  Changed();
}

void TMinMax::SetMaxVisible(bool v) {
  if (v == maxVisible_) return;
  maxVisible_ = v;
  Changed();
}

void TMinMax::Reset() {
  min_ = kMinStart;
  max_ = kMaxStart;
}

// ---------------------------------------------------------------- TInsAnalogGControl

THintOptions AllHintOptions() {
  return {hoAutoHint, hoValue, hoName1, hoName2, hoMin, hoMax, hoMinMaxDate, hoMinMaxTime};
}

TInsAnalogGControl::TInsAnalogGControl(QWidget *parent) : TInsGraphicControl(parent), hintOptions_(AllHintOptions()) {
  signal_.OnChange = [this] { SettingsObjectChanged(); };
  sectors_.OnChange = [this] { SettingsObjectChanged(); };
  minMax_.OnChange = [this] { SettingsObjectChanged(); };
  RefreshTexts();
}

void TInsAnalogGControl::SettingsObjectChanged() {
  if (!loading_) Change();
}

void TInsAnalogGControl::BeginLoading() { loading_ = true; }

void TInsAnalogGControl::Loaded() {
  loading_ = false;
  minMax_.Reset();
  Change();
}

void TInsAnalogGControl::SetValue(float v) {
  if (v == value_) return;
  value_ = v;
  digit_ = RoundToInt((double(v) - signal_.ValueFrom()) * signal_.DigitsPerValue() + signal_.DigitalFrom());
  if (loading_) {
    RefreshTexts();
    return;
  }
  ValueChanged();
}

void TInsAnalogGControl::SetDigit(int d) {
  if (d == digit_) return;
  digit_ = d;
  value_ = float(signal_.ValueFrom() + (double(d) - signal_.DigitalFrom()) * signal_.ValuePerDigit());
  if (loading_) {
    RefreshTexts();
    return;
  }
  ValueChanged();
}

void TInsAnalogGControl::SetLimitUpper(float x) {
  if (x == limitUpper_) return;
  limitUpper_ = x;
  limitUpperPos_ = signal_.PerMille(x);
  if (!loading_) ValueChanged();
}

void TInsAnalogGControl::SetLimitLower(float x) {
  if (x == limitLower_) return;
  limitLower_ = (x == 0.0f) ? 0.0001f : x;
  limitLowerPos_ = signal_.PerMille(limitLower_);
  if (!loading_) ValueChanged();
}

void TInsAnalogGControl::SetHintOptions(THintOptions o) {
  if (o == hintOptions_) return;
  const bool autoOn = o.Has(hoAutoHint) && !hintOptions_.Has(hoAutoHint);
  hintOptions_ = o;
  if (autoOn && !loading_) ValueChanged();
}

void TInsAnalogGControl::SetStale(bool v) {
  if (v == stale_) return;
  stale_ = v;
  StaleChanged();
}

void TInsAnalogGControl::EnsureTextsCurrent() {
  const TFormatSettings &fs = FormatSettings();
  if (fs.DecimalSeparator != textDecimal_ || fs.ThousandSeparator != textThousand_) RefreshTexts();
}

void TInsAnalogGControl::RefreshTexts() {
  digitText_ = QString::number(digit_);
  valueText_ = FormatValue(signal_.ValueFormat(), value_);
  textDecimal_ = FormatSettings().DecimalSeparator;
  textThousand_ = FormatSettings().ThousandSeparator;
  const int span = signal_.DigitSpan();
  const double pos = span != 0 ? 1000.0 / span * (double(digit_) - signal_.DigitalFrom()) : 0.0;
  position_ = qBound(0, RoundToInt(pos), 1000);
}

void TInsAnalogGControl::ValueChanged() {
  // Texts.
  digitText_ = QString::number(digit_);
  valueText_ = FormatValue(signal_.ValueFormat(), value_);
  textDecimal_ = FormatSettings().DecimalSeparator;
  textThousand_ = FormatSettings().ThousandSeparator;

  // Position on the scale, unclamped for the range check below.
  const int span = signal_.DigitSpan();
  const int pos = span != 0 ? RoundToInt(1000.0 / span * (double(digit_) - signal_.DigitalFrom())) : 0;

  // Sectors: a later band wins the colour.
  bool changed[3];
  for (int i = 0; i < 3; ++i) {
    const bool in = pos >= sectors_.From(i) && pos <= sectors_.To(i);
    changed[i] = in != inSector_[i];
    inSector_[i] = in;
    if (in) sectorColor_ = sectors_.Color(i);
  }
  for (int i = 0; i < 3; ++i)
    if (changed[i] && OnSectorChange) {
      const bool in = inSector_[i];
      RunHandler([&] { OnSectorChange(this, i + 1, in); });
    }

  // Limits: exactly on a limit is inside.
  const bool above = value_ > limitUpper_;
  const bool below = !(value_ >= limitLower_);
  limitsEvaluated_ = true;
  if (above != above_ || below != below_) {
    above_ = above;
    below_ = below;
    LimitChanged();
    if (OnLimit) RunHandler([&] { OnLimit(this, below, above); });
  }

  // Range: one report per excursion, position clamped.
  position_ = pos;
  if (pos < 0) {
    if (!underRange_) {
      underRange_ = true;
      overRange_ = false;
      OverflowChanged();
      if (OnOverflow) RunHandler([&] { OnOverflow(this, pos); });
    }
    position_ = 0;
  } else if (pos > 1000) {
    if (!overRange_) {
      overRange_ = true;
      underRange_ = false;
      OverflowChanged();
      if (OnOverflow) RunHandler([&] { OnOverflow(this, pos); });
    }
    position_ = 1000;
  } else if (overRange_ || underRange_) {
    overRange_ = underRange_ = false;
    OverflowChanged();
    if (OnOverflow) RunHandler([&] { OnOverflow(this, pos); });
  }

  // Extremes; the very first value only initialises them.
  if (minMax_.min_ > value_) {
    const bool first = minMax_.min_ == TMinMax::kMinStart;
    minMax_.min_ = value_;
    minMax_.minDateTime_ = Now();
    minMax_.minPosition_ = position_;
    if (!first) {
      MinMaxChanged();
      if (OnMinMaxChange) RunHandler([&] { OnMinMaxChange(this); });
    }
  }
  if (minMax_.max_ < value_) {
    const bool first = minMax_.max_ == TMinMax::kMaxStart;
    minMax_.max_ = value_;
    minMax_.maxDateTime_ = Now();
    minMax_.maxPosition_ = position_;
    if (!first) {
      MinMaxChanged();
      if (OnMinMaxChange) RunHandler([&] { OnMinMaxChange(this); });
    }
  }

  if (hintOptions_.Has(hoAutoHint)) UpdateHint();

  if (OnValueChange) RunHandler([&] { OnValueChange(this); });
}

namespace {
bool SameFormats(const TFormatSettings &a, const TFormatSettings &b) {
  return a.DecimalSeparator == b.DecimalSeparator && a.ThousandSeparator == b.ThousandSeparator &&
         a.DateSeparator == b.DateSeparator && a.TimeSeparator == b.TimeSeparator &&
         a.LongTimeFormat == b.LongTimeFormat && a.ShortDateFormat == b.ShortDateFormat;
}
bool SameMoment(const TDateTimeParts &a, const TDateTimeParts &b) {
  return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour && a.Minute == b.Minute &&
         a.Second == b.Second && a.MSec == b.MSec;
}
}  // namespace

const QString &TInsAnalogGControl::ExtremeLine(THintLine &line, const char *label, float value,
                                               const TDateTimeParts &when) {
  const QString &format = signal_.ValueFormat();
  const QString &unit = signal_.ValueUnit();
  const TFormatSettings &formats = FormatSettings();
  if (line.Made && line.Value == value && SameMoment(line.When, when) && line.Options == hintOptions_ &&
      line.Format == format && line.Unit == unit && SameFormats(line.Formats, formats))
    return line.Text;
  QString text = QString::fromLatin1(label) + FormatValue(format, value) + " " + unit;
  if (hintOptions_.Has(hoMinMaxDate)) text += " " + QString::fromStdString(DateToStr(when));
  if (hintOptions_.Has(hoMinMaxTime)) text += " " + QString::fromStdString(TimeToStr(when));
  line = {true, value, when, hintOptions_, format, unit, formats, std::move(text)};
  return line.Text;
}

void TInsAnalogGControl::UpdateHint() {
  const QString unit = signal_.ValueUnit();
  QStringList lines;
  if (hintOptions_.Has(hoValue)) lines << "Value= " + valueText_ + " " + unit;
  if (hintOptions_.Has(hoMin)) lines << ExtremeLine(minHint_, "MIN= ", minMax_.min_, minMax_.minDateTime_);
  if (hintOptions_.Has(hoMax)) lines << ExtremeLine(maxHint_, "MAX= ", minMax_.max_, minMax_.maxDateTime_);
  if (hintOptions_.Has(hoName1)) lines << signal_.Name1();
  if (hintOptions_.Has(hoName2)) lines << signal_.Name2();
  // A line break, not a carriage return: a tooltip draws a lone CR as a
  // blank and the hint would run off the screen as one line.
  const QString hint = lines.join('\n');
  if (hint != toolTip()) setToolTip(hint);
}

void TInsAnalogGControl::SettingsChanged() {
  // The value is what the program sets; after a scale change its raw value
  // and position follow it, so the widget keeps showing the same value.
  digit_ = RoundToInt((double(value_) - signal_.ValueFrom()) * signal_.DigitsPerValue() + signal_.DigitalFrom());
  limitUpperPos_ = signal_.PerMille(limitUpper_);
  limitLowerPos_ = signal_.PerMille(limitLower_);
  RefreshTexts();
  if (OnSettingsChange) RunHandler([&] { OnSettingsChange(this); });
}

void TInsAnalogGControl::PaintFrameAndNames(QPainter &p, const TInsSBevel *outer, const QColor &nameColor,
                                            const QRect *name1, const QRect *name2) const {
  if (outer) {
    QRect r = rect();
    outer->Paint(p, r);
  }
  p.setPen(nameColor);
  for (const TCaptionBox &name : NameCaptions(name1, name2)) {
    p.setFont(name.Font);
    p.drawText(name.Drawn.left(), name.Drawn.top() + QFontMetrics(name.Font).ascent(), name.Text);
  }
  p.setFont(font());
}

TCaptionBoxes TInsAnalogGControl::NameCaptions(const QRect *name1, const QRect *name2) const {
  TCaptionBoxes boxes;
  auto add = [&](const QRect *r, const QString &text) {
    if (!r || text.isEmpty()) return;
    const QFont f = FitCaptionFont(font(), text, r->width());
    const QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(text);
    boxes.push_back({text, f, QRect(r->left() + (r->width() - w) / 2, r->top(), w, fm.height()), *r});
  };
  add(name2, signal_.Name2());
  add(name1, signal_.Name1());
  return boxes;
}
