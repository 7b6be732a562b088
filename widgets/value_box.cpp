#include "widgets/value_box.h"

#include "runtime/form_font.h"

#include <QPainter>

TInsValueBoxGControl::TInsValueBoxGControl(QWidget *parent, const QColor &valueColor, const QColor &boxColor,
                                           QImage::Format format)
    : TInsAnalogGControl(parent),
      fontValue_(FormFont("System", 10)),
      fontValueColor_(valueColor),
      valueFormat_(format) {
  bevelValue_.SetStyle(bsLowered);
  bevelValue_.SetWidth(2);
  bevelValue_.SetSpacing(0);
  bevelValue_.SetColor(boxColor);
  bevelValue_.OnChange = [this] { SettingsObjectChanged(); };
  valueLayer_ = AddValueLayer([this](QPainter &p, const QRect &r) { PaintValue(p, r); });
}

TInsValueBoxGControl::TValueBox TInsValueBoxGControl::LayoutValueBox(int left, int width, int top, bool unit) const {
  const QFontMetrics fv(fontValue_);
  const auto &sig = SignalSettings();
  const int vh = fv.height();
  const int f = vh / 3;
  const int sampleW = fv.horizontalAdvance(sig.FormatSample());
  const int unitW = unit ? fv.horizontalAdvance(sig.ValueUnit()) : 0;
  const int valB = bevelValue_.BorderSize();
  TValueBox b;
  b.Box = QRect(left + (width - sampleW - unitW - f) / 2 - f, top, sampleW + 2 * valB + 2 * f, 2 * valB + vh);
  const QRect inside = b.Box.adjusted(valB, valB, -valB, -valB);
  b.UnitX = inside.left() + inside.width() + f;
  b.UnitY = inside.top();
  b.Text = inside.adjusted(f, 0, -f, 0);
  return b;
}

QSize TInsValueBoxGControl::ValueBoxNeed(bool unit) const {
  const QFontMetrics fv(fontValue_);
  const auto &sig = SignalSettings();
  const int valB = bevelValue_.BorderSize();
  const int unitW = unit ? fv.horizontalAdvance(sig.ValueUnit()) : 0;
  return QSize(fv.horizontalAdvance(sig.FormatSample()) + unitW + 2 * valB + fv.height(), fv.height() + 2 * valB);
}

void TInsValueBoxGControl::PaintValueBox(QPainter &p, const TValueBox &b, bool unit) const {
  QRect box = b.Box;
  bevelValue_.Paint(p, box);
  if (!unit) return;
  p.setFont(fontValue_);
  p.setPen(FontColor());
  p.drawText(b.UnitX, b.UnitY + QFontMetrics(fontValue_).ascent(), SignalSettings().ValueUnit());
}

void TInsValueBoxGControl::PlaceValueText(const QRect &r, bool shown) {
  valueLayer_->setVisible(shown);
  if (shown) valueLayer_->setGeometry(r);
  const bool coversAll = QImage::toPixelFormat(valueFormat_).alphaUsage() == QPixelFormat::IgnoresAlpha;
  valueLayer_->SetOpaque(coversAll || bevelValue_.Color().alpha() == 255);
}

void TInsValueBoxGControl::StaleChanged() { valueLayer_->update(); }

void TInsValueBoxGControl::PaintValue(QPainter &p, const QRect &r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  EnsureTextsCurrent();  // the separators may have changed since the last value
  if (valueImage_.size() != r.size()) valueImage_ = QImage(r.size(), valueFormat_);
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
