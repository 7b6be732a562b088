#include "widgets/ins_thermometer.h"

#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "widgets/value_layer.h"

#include <QPainter>
#include <QPaintEvent>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------- TBarSettings

TBarSettings::TBarSettings() : bkColor_(clBtnFace()), fontColor_(clBtnHighlight()) {
  bevel_.SetStyle(bsLowered);
  bevel_.SetSpacing(0);
  bevel_.SetBevelLine(blNone);
  bevel_.SetWidth(1);
  bevel_.OnChange = [this] { Changed(); };
}

void TBarSettings::SetStyle(TBarStyle v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}

void TBarSettings::SetColor(const QColor &c) {
  if (c == color_) return;
  color_ = c;
  Changed();
}

void TBarSettings::SetBkColor(const QColor &c) {
  if (c == bkColor_) return;
  bkColor_ = c;
  Changed();
}

void TBarSettings::SetOptions(TBarOptions o) {
  if (o == options_) return;
  options_ = o;
  Changed();
}

void TBarSettings::SetFont(const QFont &f) {
  if (f == font_) return;
  font_ = f;
  Changed();
}

void TBarSettings::SetFontColor(const QColor &c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  Changed();
}

void TBarSettings::SetMinWidth(int v) {
  if (v < 1 || v == minWidth_) return;
  minWidth_ = v;
  Changed();
}

void TBarSettings::SetMinHeight(int v) {
  if (v < 1 || v == minHeight_) return;
  minHeight_ = v;
  Changed();
}

// ---------------------------------------------------------------- TInsThermometer

namespace {

QString Separators() {
  return QString(QChar(FormatSettings().DecimalSeparator)) + QChar(FormatSettings().ThousandSeparator);
}

}  // namespace

TInsThermometer::TInsThermometer(QWidget *parent) : TInsAnalogGControl(parent) {
  BeginLoading();
  SignalSettings().SetValueUnit(QString::fromUtf8("°C"));
  SignalSettings().SetValueFrom(-40);
  SignalSettings().SetValueTo(60);

  setFont(FormFont("Arial", 8));
  fontValue_ = FormFont("System", 10);

  bar_.SetMinWidth(3);
  bar_.SetMinHeight(100);
  bar_.SetColor(clBlue);
  bar_.SetBkColor(clBtnFace());
  bar_.Bevel().SetSpacing(1);
  bar_.Bevel().SetStyle(bsRaised);
  bar_.Bevel().SetColor(clBtnFace());

  bevelInner_.SetStyle(bsLowered);
  bevelInner_.SetSpacing(5);
  bevelInner_.SetWidth(2);
  bevelInner_.SetBevelLine(blInner);
  bevelOuter_.SetStyle(bsRaised);
  bevelOuter_.SetSpacing(5);
  bevelOuter_.SetWidth(2);
  bevelOuter_.SetBevelLine(blOuter);
  bevelValue_.SetStyle(bsLowered);
  bevelValue_.SetWidth(2);
  bevelValue_.SetSpacing(0);
  bevelValue_.SetColor(clBtnFace());

  scale_.SetDrawLine(false);
  scale_.SetSubSteps(5);
  scale_.SetFont(FormFont("Arial", 8));

  bar_.OnChange = [this] { SettingsObjectChanged(); };
  scale_.OnChange = [this] { SettingsObjectChanged(); };
  for (TInsSBevel *b : {&bevelInner_, &bevelOuter_, &bevelValue_}) b->OnChange = [this] { SettingsObjectChanged(); };

  columnLayer_ = new TInsValueLayer(this, [this](QPainter &p, const QRect &r) { PaintColumn(p, r); });
  valueLayer_ = new TInsValueLayer(this, [this](QPainter &p, const QRect &r) { PaintValue(p, r); });
  resize(82, 172);
  Loaded();
}

void TInsThermometer::SettingsObjectChanged() {
  if (!Loading()) Change();
}

void TInsThermometer::SetOptions(TThMetOptions o) {
  if (o == options_) return;
  options_ = o;
  SettingsObjectChanged();
}

void TInsThermometer::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  SettingsObjectChanged();
}

void TInsThermometer::SetFont(const QFont &f) {
  if (f == font()) return;
  setFont(f);
  SettingsObjectChanged();
}

void TInsThermometer::SetFontColor(const QColor &c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  SettingsObjectChanged();
}

void TInsThermometer::SetFontValue(const QFont &f) {
  if (f == fontValue_) return;
  fontValue_ = f;
  SettingsObjectChanged();
}

void TInsThermometer::SetFontValueColor(const QColor &c) {
  if (c == fontValueColor_) return;
  fontValueColor_ = c;
  SettingsObjectChanged();
}

void TInsThermometer::SetScaleSpacing(int v) {
  if (v == scaleSpacing_) return;
  scaleSpacing_ = v;
  SettingsObjectChanged();
}

QSize TInsThermometer::MinimumContentSize() const {
  const QFontMetrics fm(font());
  const QFontMetrics fv(fontValue_);
  const auto &sig = SignalSettings();
  const int outer = options_.Has(opBevelOuter) ? 2 * bevelOuter_.BorderSize() : 0;
  const int inner = options_.Has(opBevelInner) ? 2 * bevelInner_.BorderSize() : 0;
  const int valB = bevelValue_.BorderSize();
  const TScaleMetrics m = scale_.Measure(scale_.Divide(sig.ValueFrom(), sig.ValueTo()));

  int h = 2 * bar_.Bevel().BorderSize() + bar_.MinHeight() + outer + inner;
  if (options_.Has(opName1)) h += fm.height();
  if (options_.Has(opName2)) h += fm.height();
  if (options_.Has(opValue)) h += fv.height() + 2 * valB + bevelInner_.BorderSize();

  // The inner frame's allowance goes on top of what the column, its scales
  // and the names need (added to the widget's own width it would make the
  // thermometer grow at every measure).
  int w = bar_.MinWidth() + 2 * m.ScaleWidth + outer;
  if (options_.Has(opName1)) w = std::max(w, fm.horizontalAdvance(sig.Name1()) + outer);
  if (options_.Has(opName2)) w = std::max(w, fm.horizontalAdvance(sig.Name2()) + outer);
  w += inner;
  if (options_.Has(opValue)) {
    const int unitW = options_.Has(opUnit) ? fv.horizontalAdvance(sig.ValueUnit()) : 0;
    w = std::max(w, fv.horizontalAdvance(sig.FormatSample()) + unitW + 2 * valB + fv.height());
  }
  return QSize(w, h);
}

TInsThermometer::TLayout TInsThermometer::ComputeLayout() const {
  TLayout l;
  const QFontMetrics fm(font());
  const QFontMetrics fv(fontValue_);
  const auto &sig = SignalSettings();
  // Edges with exclusive right and bottom.
  int left = 0, top = 0, right = width(), bottom = height();
  int a = 0;
  if (options_.Has(opBevelOuter)) {
    const int b = bevelOuter_.BorderSize();
    left += b, top += b, right -= b, bottom -= b;
    a = bevelOuter_.Spacing() / 2;
  }
  if (options_.Has(opName2)) {
    bottom -= fm.height();
    l.name2 = QRect(left, bottom + a, right - left, fm.height());
  }
  if (options_.Has(opName1)) {
    bottom -= fm.height();
    l.name1 = QRect(left, bottom + a, right - left, fm.height());
  }
  if (options_.Has(opValue)) {
    const int vh = fv.height();
    const int f = vh / 3;
    const int sampleW = fv.horizontalAdvance(sig.FormatSample());
    const int unitW = options_.Has(opUnit) ? fv.horizontalAdvance(sig.ValueUnit()) : 0;
    const int valB = bevelValue_.BorderSize();
    l.box = QRect(left + (right - left - sampleW - unitW - f) / 2 - f, top, sampleW + 2 * valB + 2 * f, 2 * valB + vh);
    const QRect inside = l.box.adjusted(valB, valB, -valB, -valB);
    l.unitX = inside.left() + inside.width() + f;
    l.unitY = inside.top();
    l.valueRect = inside.adjusted(f, 0, -f, 0);
    top += l.box.height() + bevelOuter_.Spacing();
  }
  l.innerBevel = QRect(left, top, right - left, bottom - top);
  const TScaleMetrics m = scale_.Measure(scale_.Divide(sig.ValueFrom(), sig.ValueTo()));
  if (options_.Has(opBevelInner)) {
    const int b = bevelInner_.BorderSize();
    left += b, top += b, right -= b, bottom -= b;
  } else {
    top += m.TextHeight / 4;
    bottom -= m.TextHeight / 4;
  }
  if (right - left < 2 || bottom - top < 2) return l;

  const int cw = bar_.ColumnWidth();
  l.column = QRect((width() - cw) / 2, top, cw, bottom - top);
  const int bb = bar_.Bevel().BorderSize();
  l.channel = l.column.adjusted(bb, bb, -bb, -bb);
  if (l.channel.width() < 1 || l.channel.height() < 1) return l;
  l.tooSmall = false;

  l.div = scale_.Divide(sig.ValueFrom(), sig.ValueTo());
  l.metrics = m;
  l.map = TScaleMap(sig.ValueTo(), sig.ValueFrom(), l.channel.top(), l.channel.bottom());
  // The scales keep ScaleSpacing from the channel itself, so a narrow window
  // column still has room for both label sets.
  l.leftTickX = l.channel.left() - scaleSpacing_ - 1;
  l.rightTickX = l.channel.right() + scaleSpacing_ + 1;
  l.labelLeft = left;
  l.labelRight = right;
  return l;
}

void TInsThermometer::Relayout() {
  if (autoSize_ && isVisible()) {
    const QSize need = MinimumContentSize();
    if (need != size()) resize(need);  // comes back through resizeEvent
  }
  layout_ = ComputeLayout();
  layoutSize_ = size();
  staticDirty_ = true;
  columnLayer_->setVisible(!layout_.tooSmall);
  columnLayer_->setGeometry(layout_.column);
  const bool showValue = options_.Has(opValue) && layout_.valueRect.width() > 0 && layout_.valueRect.height() > 0;
  valueLayer_->setVisible(showValue);
  if (showValue) valueLayer_->setGeometry(layout_.valueRect);
  columnLayer_->SetOpaque(bar_.Bevel().Color().alpha() == 255);
  valueLayer_->SetOpaque(bevelValue_.Color().alpha() == 255);
}

const TInsThermometer::TLayout &TInsThermometer::Sync() {
  if (size() != layoutSize_) Relayout();
  return layout_;
}

void TInsThermometer::StaleChanged() {
  if (options_.Has(opValue)) valueLayer_->update();
}

void TInsThermometer::SettingsChanged() {
  TInsAnalogGControl::SettingsChanged();
  textSeparators_.clear();
  Relayout();
  update();
  columnLayer_->update();
  valueLayer_->update();
}

void TInsThermometer::resizeEvent(QResizeEvent *e) {
  TInsAnalogGControl::resizeEvent(e);
  Relayout();
}

void TInsThermometer::showEvent(QShowEvent *e) {
  TInsAnalogGControl::showEvent(e);
  if (autoSize_) Relayout();
}

void TInsThermometer::ValueChanged() {
  TInsAnalogGControl::ValueChanged();
  textSeparators_ = Separators();
  if (Sync().tooSmall) return;  // nothing to show the value in
  columnLayer_->update();
  if (options_.Has(opValue)) valueLayer_->update();
}

TCaptionBoxes TInsThermometer::Captions() {
  const TLayout &l = Sync();
  return NameCaptions(options_.Has(opName1) ? &l.name1 : nullptr, options_.Has(opName2) ? &l.name2 : nullptr);
}

int TInsThermometer::ScaleY(double value) { return int(std::lround(Sync().map.Transform(value))); }

int TInsThermometer::FillHeight() {
  if (Sync().tooSmall) return 0;
  return int(std::lround(Position() * double(layout_.channel.height()) / 1000.0));
}

QColor TInsThermometer::FillColor() const {
  if (bar_.Options().Has(TBarSettings::opUseSectorCol))
    for (int i = 0; i < 3; ++i)
      if (InSector(i) && SectorColor()) return *SectorColor();
  return bar_.Color();
}

int TInsThermometer::ColumnPaintCount() const { return columnLayer_->PaintCount(); }
int TInsThermometer::ValuePaintCount() const { return valueLayer_->PaintCount(); }

void TInsThermometer::ResetPaintStats() {
  paintCount_ = 0;
  columnLayer_->ResetPaintCount();
  valueLayer_->ResetPaintCount();
}

void TInsThermometer::EnsureStaticImage() {
  if (!staticDirty_ && static_.size() == size()) return;
  static_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  static_.fill(Qt::transparent);
  QPainter p(&static_);
  PaintStatic(p);
  staticDirty_ = false;
}

void TInsThermometer::PaintStatic(QPainter &p) const {
  const TLayout &l = layout_;
  const auto &sig = SignalSettings();
  PaintFrameAndNames(p, options_.Has(opBevelOuter) ? &bevelOuter_ : nullptr, fontColor_,
                     options_.Has(opName1) ? &l.name1 : nullptr, options_.Has(opName2) ? &l.name2 : nullptr);
  if (options_.Has(opValue)) {
    QRect box = l.box;
    bevelValue_.Paint(p, box);
    if (options_.Has(opUnit)) {
      p.setFont(fontValue_);
      p.setPen(fontColor_);
      p.drawText(l.unitX, l.unitY + QFontMetrics(fontValue_).ascent(), sig.ValueUnit());
    }
  }
  if (options_.Has(opBevelInner)) {
    QRect r = l.innerBevel;
    bevelInner_.Paint(p, r);
  }
  if (l.tooSmall) return;
  QRect column = l.column;
  bar_.Bevel().Paint(p, column);
  p.fillRect(l.channel, bar_.BkColor());
  DrawLinearScale(p, scale_, l.metrics, l.div, l.map, l.leftTickX, true, l.labelLeft, l.labelRight);
  DrawLinearScale(p, scale_, l.metrics, l.div, l.map, l.rightTickX, false, l.labelLeft, l.labelRight);
}

void TInsThermometer::paintEvent(QPaintEvent *e) {
  ++paintCount_;
  Sync();
  EnsureStaticImage();
  QPainter p(this);
  p.drawImage(e->rect().topLeft(), static_, e->rect());
  // Column and value are painted by their layers.
}

void TInsThermometer::PaintMarks(QPainter &p, const QRect &column) const {
  const TMinMax &mm = MinMax();
  // One value seen is no range yet: the marks would only sit on the fill.
  if (!(mm.Min() < mm.Max())) return;
  const QRect ch = layout_.channel.translated(-column.topLeft());
  const int len = layout_.metrics.MainTickLength;
  const double w = std::max(1, len / 2);
  const double x0 = ch.right() + 1;
  auto edge = [&](int pos) {
    return ch.bottom() + 1 - std::lround(qBound(0, pos, 1000) * double(ch.height()) / 1000.0);
  };
  auto colour = [&](int pos, const QColor &own) {
    if (mm.UseSectorCol())
      if (auto c = SectorSettings().SectorColorAt(pos)) return *c;
    return own;
  };
  p.setPen(Qt::NoPen);
  if (mm.MinVisible()) {
    const double y = edge(mm.MinPosition());
    p.setBrush(colour(mm.MinPosition(), mm.MinColor()));
    p.drawPolygon(QPolygonF({QPointF(x0, y), QPointF(x0 + w, y), QPointF(x0, y + len)}));
  }
  if (mm.MaxVisible()) {
    const double y = edge(mm.MaxPosition());
    p.setBrush(colour(mm.MaxPosition(), mm.MaxColor()));
    p.drawPolygon(QPolygonF({QPointF(x0, y), QPointF(x0 + w, y), QPointF(x0, y - len)}));
  }
}

void TInsThermometer::PaintColumn(QPainter &p, const QRect &r) {
  if (Sync().tooSmall) return;
  EnsureStaticImage();
  const QRect column = layout_.column;
  // The saved background of the column, restored into the off-screen copy.
  if (columnImage_.size() != column.size()) columnImage_ = QImage(column.size(), QImage::Format_ARGB32_Premultiplied);
  {
    QPainter ip(&columnImage_);
    ip.setCompositionMode(QPainter::CompositionMode_Source);
    ip.drawImage(0, 0, static_, column.left(), column.top(), column.width(), column.height());
    ip.setCompositionMode(QPainter::CompositionMode_SourceOver);
    PaintMarks(ip, column);

    const QRect ch = layout_.channel.translated(-column.topLeft());
    ip.fillRect(ch, bar_.BkColor());
    const int k = FillHeight();
    const QColor fill = FillColor();
    const int bottom = ch.bottom() + 1;
    switch (bar_.Style()) {
      case bsBar:
        if (bar_.Options().Has(TBarSettings::opBidir)) {
          const int mid = bottom - ch.height() / 2;
          const int level = bottom - k;
          ip.fillRect(ch.left(), std::min(mid, level), ch.width(), std::abs(mid - level), fill);
        } else {
          ip.fillRect(ch.left(), bottom - k, ch.width(), k, fill);
        }
        break;
      case bsLED_Bar:
        // Segments of two lines with a gap, lit up to the level.
        for (int y = bottom - 2; y >= bottom - k; y -= 3) ip.fillRect(ch.left(), y, ch.width(), 2, fill);
        break;
      case bsPoint: {
        const int y = std::min(bottom - k, ch.bottom() - 2);
        ip.fillRect(ch.left(), std::max(ch.top(), y), ch.width(), 3, fill);
        break;
      }
    }
    if (bar_.Options().Has(TBarSettings::opValue)) {
      // Written upwards inside the channel, where a wide column has room.
      QString text = ValueText();
      if (bar_.Options().Has(TBarSettings::opUnit)) text += " " + SignalSettings().ValueUnit();
      ip.save();
      ip.setClipRect(ch);
      ip.setFont(bar_.Font());
      ip.setPen(bar_.FontColor());
      ip.translate(ch.center().x() + QFontMetrics(bar_.Font()).ascent() / 2, ch.bottom() - 2);
      ip.rotate(-90);
      ip.drawText(0, 0, text);
      ip.restore();
    }
  }
  p.drawImage(r.topLeft(), columnImage_);
}

void TInsThermometer::PaintValue(QPainter &p, const QRect &r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  // The separators may have changed since the value was formatted (the main
  // window sets them at its activation); only then is the text made again.
  const QString separators = Separators();
  if (separators != textSeparators_) {
    RefreshTexts();
    textSeparators_ = separators;
  }
  if (valueImage_.size() != r.size()) valueImage_ = QImage(r.size(), QImage::Format_ARGB32_Premultiplied);
  valueImage_.fill(bevelValue_.Color());
  {
    QPainter ip(&valueImage_);
    ip.setFont(fontValue_);
    ip.setPen(ValueTextColor(fontValueColor_));
    const QFontMetrics fv(fontValue_);
    // Right-aligned; a text wider than the box loses its left end.
    ip.drawText(r.width() - fv.horizontalAdvance(ValueText()), fv.ascent(), ValueText());
  }
  p.drawImage(r.topLeft(), valueImage_);
}
