#include "widgets/analog_control.h"

#include "runtime/application.h"
#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"
#include "widgets/text_layout.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
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

void TSectorSettings::SetColor(int sector, const QColor &c) {
  if (sector >= 0 && sector <= 2) Set(color_[sector], c);
}

void TSectorSettings::SetFrom(int sector, int v) {
  if (sector >= 0 && sector <= 2) Set(from_[sector], v);
}

void TSectorSettings::SetTo(int sector, int v) {
  if (sector >= 0 && sector <= 2) Set(to_[sector], v);
}

std::optional<QColor> TSectorSettings::SectorColorAt(int p) const {
  for (int i = 0; i < 3; ++i)
    if (p >= from_[i] && p <= to_[i]) return color_[i];
  return std::nullopt;
}

// ---------------------------------------------------------------- TMinMax

TMinMax::TMinMax() : minDateTime_(Now()), maxDateTime_(minDateTime_) {}

void TMinMax::Reset() {
  min_ = kMinStart;
  max_ = kMaxStart;
}

// ---------------------------------------------------------------- TInsAnalogGControl

THintOptions AllHintOptions() {
  return {hoAutoHint, hoValue, hoName1, hoName2, hoMin, hoMax, hoMinMaxDate, hoMinMaxTime};
}

TInsAnalogGControl::TInsAnalogGControl(QWidget *parent) : TInsGraphicControl(parent), hintOptions_(AllHintOptions()) {
  setFont(FormFont("Arial", 8));
  bevelInner_.SetStyle(bsLowered);
  bevelInner_.SetSpacing(5);
  bevelInner_.SetWidth(2);
  bevelInner_.SetBevelLine(blInner);
  bevelOuter_.SetStyle(bsRaised);
  bevelOuter_.SetSpacing(5);
  bevelOuter_.SetWidth(2);
  bevelOuter_.SetBevelLine(blOuter);
  for (TInsSBevel *b : {&bevelInner_, &bevelOuter_}) b->OnChange = [this] { SettingsObjectChanged(); };
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
  if (!Assign(value_, v)) return;
  digit_ = RoundToInt((double(v) - signal_.ValueFrom()) * signal_.DigitsPerValue() + signal_.DigitalFrom());
  TakeValue();
}

void TInsAnalogGControl::SetDigit(int d) {
  if (!Assign(digit_, d)) return;
  value_ = float(signal_.ValueFrom() + (double(d) - signal_.DigitalFrom()) * signal_.ValuePerDigit());
  TakeValue();
}

void TInsAnalogGControl::TakeValue() {
  if (loading_) RefreshTexts();
  else ValueChanged();
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

  // Range: one report per excursion, position clamped after it.
  position_ = pos;
  auto rangeChanged = [&](bool under, bool over) {
    underRange_ = under;
    overRange_ = over;
    OverflowChanged();
    if (OnOverflow) RunHandler([&] { OnOverflow(this, pos); });
  };
  if (pos < 0) {
    if (!underRange_) rangeChanged(true, false);
    position_ = 0;
  } else if (pos > 1000) {
    if (!overRange_) rangeChanged(false, true);
    position_ = 1000;
  } else if (overRange_ || underRange_) {
    rangeChanged(false, false);
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
  Relayout();
  update();
  RepaintValueLayers();
}

// ---------------------------------------------------------------- the instrument round the value

void TInsAnalogGControl::SetFont(const QFont &f) {
  if (f == font()) return;
  setFont(f);  // measured again through the font-change event
}

void TInsAnalogGControl::changeEvent(QEvent *e) {
  TInsGraphicControl::changeEvent(e);
  if (e->type() == QEvent::FontChange) SettingsObjectChanged();
}

TInsAnalogGControl::TFrame TInsAnalogGControl::LayoutFrame() const {
  const TFrameParts parts = FrameParts();
  const int lineHeight = QFontMetrics(font()).height();
  // Edges with exclusive right and bottom.
  int left = 0, top = 0, right = width(), bottom = height();
  int a = 0;
  if (parts.BevelOuter) {
    const int b = bevelOuter_.BorderSize();
    left += b, top += b, right -= b, bottom -= b;
    a = bevelOuter_.Spacing() / 2;
  }
  TFrame f;
  if (parts.Name2) {
    bottom -= lineHeight;
    f.Name2 = QRect(left, bottom + a, right - left, lineHeight);
  }
  if (parts.Name1) {
    bottom -= lineHeight;
    f.Name1 = QRect(left, bottom + a, right - left, lineHeight);
  }
  f.Inside = QRect(left, top, right - left, bottom - top);
  return f;
}

int TInsAnalogGControl::OuterAllowance() const { return FrameParts().BevelOuter ? 2 * bevelOuter_.BorderSize() : 0; }

int TInsAnalogGControl::InnerAllowance() const { return FrameParts().BevelInner ? 2 * bevelInner_.BorderSize() : 0; }

QSize TInsAnalogGControl::NamesSize() const {
  const TFrameParts parts = FrameParts();
  const QFontMetrics fm(font());
  QSize s(0, 0);
  auto add = [&](bool shown, const QString &name) {
    if (!shown) return;
    s.setWidth(std::max(s.width(), fm.horizontalAdvance(name)));
    s.rheight() += fm.height();
  };
  add(parts.Name1, signal_.Name1());
  add(parts.Name2, signal_.Name2());
  return s;
}

void TInsAnalogGControl::PaintFrameAndNames(QPainter &p, const TFrame &frame) const {
  if (FrameParts().BevelOuter) {
    QRect r = rect();
    bevelOuter_.Paint(p, r);
  }
  p.setPen(fontColor_);
  for (const TCaptionBox &name : NameCaptions(frame)) {
    p.setFont(name.Font);
    p.drawText(name.Drawn.left(), name.Drawn.top() + QFontMetrics(name.Font).ascent(), name.Text);
  }
  p.setFont(font());
}

void TInsAnalogGControl::PaintBevelInner(QPainter &p, const QRect &area) const {
  if (!FrameParts().BevelInner) return;
  QRect r = area;
  bevelInner_.Paint(p, r);
}

TCaptionBoxes TInsAnalogGControl::NameCaptions(const TFrame &frame) const {
  const TFrameParts parts = FrameParts();
  TCaptionBoxes boxes;
  auto add = [&](bool shown, const QRect &r, const QString &text) {
    if (!shown || text.isEmpty()) return;
    const QFont f = FitCaptionFont(font(), text, r.width());
    const QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(text);
    boxes.push_back({text, f, QRect(r.left() + (r.width() - w) / 2, r.top(), w, fm.height()), r});
  };
  add(parts.Name2, frame.Name2, signal_.Name2());
  add(parts.Name1, frame.Name1, signal_.Name1());
  return boxes;
}

// ---------------------------------------------------------------- layout and repainting

void TInsAnalogGControl::Relayout() {
  if (autoSize_ && isVisible()) {
    const QSize need = AutoSizeFor();
    if (need != size()) resize(need);  // comes back through resizeEvent
  }
  Arrange();
  layoutSize_ = size();
  stillDirty_ = true;
}

void TInsAnalogGControl::resizeEvent(QResizeEvent *e) {
  TInsGraphicControl::resizeEvent(e);
  Relayout();
}

void TInsAnalogGControl::showEvent(QShowEvent *e) {
  TInsGraphicControl::showEvent(e);
  if (autoSize_) Relayout();
}

const QImage &TInsAnalogGControl::StillPicture() {
  if (!stillDirty_ && still_.size() == size()) return still_;
  still_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  still_.fill(Qt::transparent);
  QPainter p(&still_);
  PaintStill(p);
  stillDirty_ = false;
  return still_;
}

void TInsAnalogGControl::CopyStill(QImage &copy, const QRect &area) {
  const QImage &still = StillPicture();
  if (copy.size() != area.size()) copy = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
  QPainter p(&copy);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, still, area.left(), area.top(), area.width(), area.height());
}

void TInsAnalogGControl::paintEvent(QPaintEvent *e) {
  CountPaint(e->rect());
  SyncLayout();
  const QImage &still = StillPicture();
  QPainter p(this);
  p.drawImage(e->rect().topLeft(), still, e->rect());
}

TInsValueLayer *TInsAnalogGControl::AddValueLayer(TInsValueLayer::PaintFn paint) {
  valueLayers_.push_back(new TInsValueLayer(this, std::move(paint)));
  return valueLayers_.back();
}

void TInsAnalogGControl::RepaintValueLayers() {
  for (TInsValueLayer *layer : valueLayers_) layer->update();
}

void TInsAnalogGControl::CountPaint(const QRect &area) {
  ++paintCount_;
  paintedArea_ += qint64(area.width()) * area.height();
}

void TInsAnalogGControl::ResetPaintStats() {
  paintCount_ = 0;
  paintedArea_ = 0;
  for (TInsValueLayer *layer : valueLayers_) layer->ResetPaintCount();
}
