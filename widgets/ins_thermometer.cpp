#include "widgets/ins_thermometer.h"

#include "runtime/form_font.h"

#include <QPainter>
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

// ---------------------------------------------------------------- TInsThermometer

TInsThermometer::TInsThermometer(QWidget *parent)
    : TInsValueBoxGControl(parent, clBlue, clBtnFace(), QImage::Format_ARGB32_Premultiplied) {
  BeginLoading();
  SignalSettings().SetValueUnit(QString::fromUtf8("°C"));
  SignalSettings().SetValueFrom(-40);
  SignalSettings().SetValueTo(60);

  bar_.SetMinWidth(3);
  bar_.SetMinHeight(100);
  bar_.SetColor(clBlue);
  bar_.SetBkColor(clBtnFace());
  bar_.Bevel().SetSpacing(1);
  bar_.Bevel().SetStyle(bsRaised);
  bar_.Bevel().SetColor(clBtnFace());

  scale_.SetDrawLine(false);
  scale_.SetSubSteps(5);
  scale_.SetFont(FormFont("Arial", 8));

  bar_.OnChange = [this] { SettingsObjectChanged(); };
  scale_.OnChange = [this] { SettingsObjectChanged(); };

  columnLayer_ = AddValueLayer([this](QPainter &p, const QRect &r) { PaintColumn(p, r); });
  columnLayer_->stackUnder(ValueTextLayer());  // the value's text stays on top
  resize(82, 172);
  Loaded();
}

TInsAnalogGControl::TFrameParts TInsThermometer::FrameParts() const {
  return {options_.Has(opBevelOuter), options_.Has(opBevelInner), options_.Has(opName1), options_.Has(opName2)};
}

QSize TInsThermometer::MinimumContentSize() const {
  const auto &sig = SignalSettings();
  const int outer = OuterAllowance();
  const TScaleMetrics m = scale_.Measure(scale_.Divide(sig.ValueFrom(), sig.ValueTo()));
  const QSize names = NamesSize();

  int h = 2 * bar_.Bevel().BorderSize() + bar_.MinHeight() + outer + InnerAllowance() + names.height();
  // The inner frame's allowance goes on top of what the column, its scales
  // and the names need (added to the widget's own width it would make the
  // thermometer grow at every measure).
  int w = std::max(bar_.MinWidth() + 2 * m.ScaleWidth, names.width()) + outer + InnerAllowance();
  if (options_.Has(opValue)) {
    const QSize box = ValueBoxNeed(options_.Has(opUnit));
    h += box.height() + BevelInner().BorderSize();
    w = std::max(w, box.width());
  }
  return QSize(w, h);
}

TInsThermometer::TLayout TInsThermometer::ComputeLayout() const {
  TLayout l;
  const auto &sig = SignalSettings();
  l.frame = LayoutFrame();
  // Edges with exclusive right and bottom.
  const QRect &in = l.frame.Inside;
  int left = in.left(), top = in.top(), right = in.left() + in.width(), bottom = in.top() + in.height();
  if (options_.Has(opValue)) {
    l.box = LayoutValueBox(left, right - left, top, options_.Has(opUnit));
    top += l.box.Box.height() + BevelOuter().Spacing();
  }
  l.innerBevel = QRect(left, top, right - left, bottom - top);
  const TScaleMetrics m = scale_.Measure(scale_.Divide(sig.ValueFrom(), sig.ValueTo()));
  if (options_.Has(opBevelInner)) {
    const int b = BevelInner().BorderSize();
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

void TInsThermometer::Arrange() {
  layout_ = ComputeLayout();
  columnLayer_->setVisible(!layout_.tooSmall);
  columnLayer_->setGeometry(layout_.column);
  columnLayer_->SetOpaque(bar_.Bevel().Color().alpha() == 255);
  const QRect &text = layout_.box.Text;
  PlaceValueText(text, options_.Has(opValue) && text.width() > 0 && text.height() > 0);
}

void TInsThermometer::ValueChanged() {
  TInsValueBoxGControl::ValueChanged();
  if (!Sync().tooSmall) RepaintValueLayers();  // nothing to show the value in otherwise
}

TCaptionBoxes TInsThermometer::Captions() { return NameCaptions(Sync().frame); }

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

void TInsThermometer::PaintStill(QPainter &p) const {
  const TLayout &l = layout_;
  PaintFrameAndNames(p, l.frame);
  if (options_.Has(opValue)) PaintValueBox(p, l.box, options_.Has(opUnit));
  PaintBevelInner(p, l.innerBevel);
  if (l.tooSmall) return;
  QRect column = l.column;
  bar_.Bevel().Paint(p, column);
  p.fillRect(l.channel, bar_.BkColor());
  DrawLinearScale(p, scale_, l.metrics, l.div, l.map, l.leftTickX, true, l.labelLeft, l.labelRight);
  DrawLinearScale(p, scale_, l.metrics, l.div, l.map, l.rightTickX, false, l.labelLeft, l.labelRight);
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
  const QRect column = layout_.column;
  CopyStill(columnImage_, column);
  {
    QPainter ip(&columnImage_);
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
      const int halfAscent = QFontMetrics(bar_.Font()).ascent() / 2;  // whole pixels: the text sits on them
      ip.translate(ch.center().x() + halfAscent, ch.bottom() - 2);
      ip.rotate(-90);
      ip.drawText(0, 0, text);
      ip.restore();
    }
  }
  p.drawImage(r.topLeft(), columnImage_);
}
