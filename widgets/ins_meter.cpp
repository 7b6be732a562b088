#include "widgets/ins_meter.h"

#include "runtime/form_font.h"
#include "widgets/flash_timer.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------- TInsRMeter

const QColor TInsRMeter::kBlinkOnColor = clRed;
const QColor TInsRMeter::kBlinkOffColor = clYellow;

TInsRMeter::TRMeterOptions TInsRMeter::AllOptions() {
  return {opBevelInner, opBevelOuter, opName1, opName2, opOverflow, opLimit, opSector, opUnit};
}

TInsRMeter::TInsRMeter(QWidget *parent) : TInsAnalogGControl(parent), options_(AllOptions()) {
  BeginLoading();
  fontUnit_ = FormFont("System", 10);
  scale_.SetFont(FormFont("Arial", 8));
  needleFill_ = arrow_.ColorBrush();

  scale_.OnChange = [this] { SettingsObjectChanged(); };
  arrow_.OnChange = [this] {
    if (!blinking_) needleFill_ = arrow_.ColorBrush();
    SettingsObjectChanged();
  };
  needleLayer_ = AddValueLayer([this](QPainter &p, const QRect &r) { PaintNeedleArea(p, r); });
  resize(150, 150);
  Loaded();
}

TInsRMeter::~TInsRMeter() { TInsFlashTimer::Forget(this); }

TInsAnalogGControl::TFrameParts TInsRMeter::FrameParts() const {
  return {options_.Has(opBevelOuter), options_.Has(opBevelInner), options_.Has(opName1), options_.Has(opName2)};
}

void TInsRMeter::SetOptions(TRMeterOptions o) {
  if (SetSetting(options_, o)) UpdateBlinking();
}

void TInsRMeter::SetScaleGeometry(int startAngle, int sweepAngle) {
  startAngle_ = startAngle;
  sweepAngle_ = sweepAngle;
  SettingsObjectChanged();
}

void TInsRMeter::SetHeightFactor(double f) {
  if (f > 0) heightFactor_ = f;
}

double TInsRMeter::AngleOf(int position) const { return startAngle_ + sweepAngle_ * position / 1000.0; }

double TInsRMeter::NeedleAngle() const { return AngleOf(Position()); }

QSize TInsRMeter::AutoSizeFor() const {
  const int allow = OuterAllowance() + InnerAllowance();
  const int h = allow + int(std::lround((width() - allow) / heightFactor_)) + NamesSize().height();
  return QSize(width(), std::max(h, 1));
}

TInsRMeter::TLayout TInsRMeter::ComputeLayout() const {
  TLayout l;
  l.frame = LayoutFrame();
  QRect area = l.frame.Inside;
  if (options_.Has(opBevelInner)) {
    // The bevel painter's own arithmetic decides where its content starts;
    // a negative spacing would let the scale run over the bevel's lines.
    const TInsSBevel &inner = BevelInner();
    const int b = std::max(inner.BorderSize(), inner.BorderSize() - inner.Spacing());
    area.adjust(b, b, -b, -b);
  }
  area = AdjustScaleArea(area);
  l.area = area;
  if (area.width() < 2 || area.height() < 2) return l;

  const auto &sig = SignalSettings();
  l.div = scale_.Divide(sig.ValueFrom(), sig.ValueTo());
  l.metrics = scale_.Measure(l.div);
  const int h = l.metrics.TextHeight;
  l.map = TScaleMap(sig.ValueFrom(), sig.ValueTo(), startAngle_, startAngle_ + sweepAngle_);
  // The largest arc whose labels keep clear of the ticks and of the bevel.
  const int hub = std::max(arrow_.CP1Radius(), arrow_.CP2Radius()) + 2;
  const TArcScaleGeometry fit = FitArcScale(area, scale_, l.metrics, l.div, l.map, hub);
  l.radius = fit.Radius;
  if (l.radius < 2) return l;
  l.centre = fit.Centre;
  l.mainTick = l.radius / 8;
  l.subTick = l.metrics.MainPenWidth <= 1 ? l.radius / 16 : int(std::lround(l.radius / 8.0 / 1.4));
  l.unitY = area.top() + area.width() / 3 - h / 2;

  // What a value change repaints: the scale area and the hub below it, inside
  // the widget.
  const QRect hubRect(int(l.centre.x()) - hub, int(l.centre.y()) - hub, 2 * hub + 1, 2 * hub + 1);
  l.valueArea = area.united(hubRect).intersected(rect());
  l.tooSmall = l.valueArea.width() < 2 || l.valueArea.height() < 2;
  return l;
}

void TInsRMeter::Arrange() {
  layout_ = ComputeLayout();
  needleLayer_->setVisible(!layout_.tooSmall);
  needleLayer_->setGeometry(layout_.valueArea);
  // The outer bevel fills the whole widget, so the saved picture has no holes.
  needleLayer_->SetOpaque(options_.Has(opBevelOuter) && BevelOuter().Color().alpha() == 255);
}

void TInsRMeter::ValueChanged() {
  TInsAnalogGControl::ValueChanged();
  if (!Sync().tooSmall) RepaintValueLayers();
}

void TInsRMeter::OverflowChanged() { UpdateBlinking(); }
void TInsRMeter::LimitChanged() { UpdateBlinking(); }

void TInsRMeter::UpdateBlinking() {
  // Before the first value the limit flags are only their start values, not
  // a reading beyond a limit: a meter nobody has fed must not blink.
  const bool out = (options_.Has(opOverflow) && (OverRange() || UnderRange())) ||
                   (options_.Has(opLimit) && LimitsEvaluated() && (AboveUpper() || BelowLower()));
  if (out == blinking_) return;
  blinking_ = out;
  if (out) {
    TInsFlashTimer::Instance().Register(this, kBlinkRate, 0, [this](int64_t, bool on) {
      needleFill_ = on ? kBlinkOnColor : kBlinkOffColor;
      if (!layout_.tooSmall) needleLayer_->update();
    });
  } else {
    TInsFlashTimer::Forget(this);
    needleFill_ = arrow_.ColorBrush();
    if (!layout_.tooSmall) needleLayer_->update();
  }
}

void TInsRMeter::PaintSectors(QPainter &p) const {
  const TLayout &l = layout_;
  const auto &sec = SectorSettings();
  const double outer = l.radius - l.metrics.LabelGap - l.mainTick - sec.Offset();
  const int tenth = l.area.width() / 10;  // whole pixels, as the band was always measured
  const double inner = outer - (tenth + sec.WidthOffset());
  if (outer <= 0 || inner >= outer) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 3; ++i) {
    int from = sec.From(i), to = sec.To(i);
    if (to - from <= 4 || to < 0 || from > 1000) continue;
    from = std::max(from, 0);
    to = std::min(to, 1000);
    const double a1 = AngleOf(from), a2 = AngleOf(to);
    // Qt angles run counter-clockwise from 3 o'clock; ours clockwise from up.
    QPainterPath band;
    const QRectF ro(l.centre.x() - outer, l.centre.y() - outer, 2 * outer, 2 * outer);
    const QRectF ri(l.centre.x() - std::max(inner, 0.0), l.centre.y() - std::max(inner, 0.0), 2 * std::max(inner, 0.0),
                    2 * std::max(inner, 0.0));
    band.arcMoveTo(ro, 90 - a1);
    band.arcTo(ro, 90 - a1, -(a2 - a1));
    band.arcTo(ri, 90 - a2, a2 - a1);
    band.closeSubpath();
    p.setBrush(sec.Color(i));
    p.drawPath(band);
  }
  p.restore();
}

void TInsRMeter::PaintStill(QPainter &p) const {
  const TLayout &l = layout_;
  const auto &sig = SignalSettings();
  PaintFrameAndNames(p, l.frame);
  PaintBevelInner(p, l.frame.Inside);
  if (l.radius < 2) return;
  if (options_.Has(opSector)) PaintSectors(p);
  TArcScaleGeometry g;
  g.Centre = l.centre;
  g.Radius = l.radius;
  g.MainTickLength = l.mainTick;
  g.SubTickLength = l.subTick;
  DrawArcScale(p, scale_, l.metrics, l.div, l.map, g);
  if (options_.Has(opUnit)) {
    p.setFont(fontUnit_);
    p.setPen(fontUnitColor_);
    const QFontMetrics fu(fontUnit_);
    const int w = fu.horizontalAdvance(sig.ValueUnit());
    p.drawText(l.area.left() + (l.area.width() - w) / 2, l.unitY + fu.ascent(), sig.ValueUnit());
  }
}

TCaptionBoxes TInsRMeter::Captions() {
  const TLayout &l = Sync();
  TCaptionBoxes boxes = NameCaptions(l.frame);
  if (l.radius < 2) return boxes;
  TArcScaleGeometry g;
  g.Centre = l.centre;
  g.Radius = l.radius;
  const std::vector<QRect> labels = ArcLabelRects(scale_, l.metrics, l.div, l.map, g);
  for (size_t i = 0; i < labels.size(); ++i)
    boxes.push_back({QString::fromStdString(l.div.Labels[i]), scale_.Font(), labels[i], l.area});
  return boxes;
}

QPolygonF TInsRMeter::NeedlePolygon() const {
  const TLayout &l = layout_;
  const double len = l.radius - l.metrics.LabelGap - 1;
  const double half = std::max(2.0, l.radius / 16.0);
  const double tail = l.radius / 8.0;
  // Pointing straight up before the turn: dx to the right, dy down.
  QVector<QPointF> shape;
  switch (arrow_.Shape()) {
    case asLine: shape = {{-0.5, 0}, {-0.5, -len}, {0.5, -len}, {0.5, 0}}; break;
    case asNeedle: shape = {{0, tail}, {-half, 0}, {0, -len}, {half, 0}}; break;
    case asTriangle: shape = {{-half, 0}, {0, -len}, {half, 0}}; break;
  }
  const double a = NeedleAngle() * M_PI / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  QPolygonF poly;
  for (const QPointF &d : shape)
    poly << QPointF(l.centre.x() + d.x() * c - d.y() * s, l.centre.y() + d.y() * c + d.x() * s);
  return poly;
}

QPointF TInsRMeter::NeedleTip() const {
  const double len = layout_.radius - layout_.metrics.LabelGap - 1;
  return PointOnCircle(layout_.centre, len, NeedleAngle());
}

void TInsRMeter::PaintNeedleArea(QPainter &p, const QRect &r) {
  if (Sync().tooSmall) return;
  const QRect area = layout_.valueArea;
  CopyStill(needleImage_, area);
  {
    QPainter ip(&needleImage_);
    ip.translate(-area.topLeft());
    ip.setRenderHint(QPainter::Antialiasing, true);

    // Extremes as small triangles on the rim, pointing at the centre.
    const TMinMax &mm = MinMax();
    if (mm.Min() < mm.Max()) {
      const double rim = layout_.radius - layout_.metrics.LabelGap;
      const double depth = std::max(3, layout_.mainTick);
      auto mark = [&](int pos, const QColor &own) {
        QColor c = own;
        if (mm.UseSectorCol())
          if (auto sc = SectorSettings().SectorColorAt(pos)) c = *sc;
        const double a = AngleOf(qBound(0, pos, 1000));
        const double halfAngle = std::atan2(depth / 2.0, rim) * 180.0 / M_PI;
        const QPolygonF tri({PointOnCircle(layout_.centre, rim, a - halfAngle),
                             PointOnCircle(layout_.centre, rim, a + halfAngle),
                             PointOnCircle(layout_.centre, rim - depth, a)});
        ip.setPen(Qt::NoPen);
        ip.setBrush(c);
        ip.drawPolygon(tri);
      };
      if (mm.MinVisible()) mark(mm.MinPosition(), mm.MinColor());
      if (mm.MaxVisible()) mark(mm.MaxPosition(), mm.MaxColor());
    }

    ip.setPen(QPen(arrow_.ColorPen(), 1));
    ip.setBrush(needleFill_);
    ip.drawPolygon(NeedlePolygon());
    const QPointF c = layout_.centre;
    if (arrow_.CP1Radius() > 0) {
      ip.setPen(arrow_.ColorCP1Pen());
      ip.setBrush(arrow_.ColorCP1Brush());
      ip.drawEllipse(c, arrow_.CP1Radius(), arrow_.CP1Radius());
    }
    if (arrow_.CP2Radius() > 0) {
      ip.setPen(arrow_.ColorCP2Pen());
      ip.setBrush(arrow_.ColorCP2Brush());
      ip.drawEllipse(c, arrow_.CP2Radius(), arrow_.CP2Radius());
    }
  }
  p.drawImage(r.topLeft(), needleImage_);
}

// ---------------------------------------------------------------- 120-degree meter

TIns120Meter::TIns120Meter(QWidget *parent) : TInsRMeter(parent) {
  BeginLoading();
  SetScaleGeometry(300, 120);
  SetHeightFactor(2.5);
  ScaleSettings().SetSteps(5);
  resize(252, 155);
  Loaded();
}

QRect TIns120Meter::AdjustScaleArea(const QRect &area) const {
  // The hub sits low: the area reaches down into the bevel's spacing, never
  // over its lines.
  QRect r = area;
  if (Options().Has(opBevelInner)) r.setBottom(r.bottom() + std::max(0, BevelInner().Spacing()));
  return r;
}

TInsDB120Meter::TInsDB120Meter(QWidget *parent) : TIns120Meter(parent) {}
