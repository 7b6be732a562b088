#include "widgets/ins_clock.h"

#include "runtime/form_font.h"
#include "widgets/flash_timer.h"
#include "widgets/ins_colors.h"
#include "widgets/value_layer.h"

#include <QPainter>

#include <algorithm>

TInsClock::TInsClock(QWidget *parent) : TInsGraphicControl(parent), fontColor_(clLime) {
  setFont(FormFont("System", 10));
  bevelOuter_.SetSpacing(2);
  bevelOuter_.SetWidth(1);
  bevelInner_.SetStyle(bsLowered);
  bevelInner_.SetSpacing(0);
  bevelInner_.SetWidth(1);
  bevelInner_.SetColor(clBlack);
  for (TInsSBevel *b : {&bevelOuter_, &bevelInner_}) b->OnChange = [this] { SettingsObjectChanged(); };
  textLayer_ = new TInsValueLayer(this, [this](QPainter &p, const QRect &r) { PaintText(p, r); });
  resize(69, 24);
  Relayout();
  // Registered for its whole life: the clock keeps itself current.
  TInsFlashTimer::Instance().Register(this, TInsFlashTimer::kRateSecond, 0, [this](int64_t, bool) { SecondTick(); });
}

TInsClock::~TInsClock() { TInsFlashTimer::Forget(this); }

void TInsClock::SetClockOption(TClockOption o) {
  if (o == option_) return;
  option_ = o;
  Change();
}

void TInsClock::SetFont(const QFont &f) {
  if (f == font()) return;
  setFont(f);
  Change();
}

void TInsClock::SetFontColor(const QColor &c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  Change();
}

void TInsClock::SetAutoHint(bool v) {
  if (v == autoHint_) return;
  autoHint_ = v;
  Change();
}

QString TInsClock::ClockTextAt(TClockOption option, const TDateTimeParts &t) {
  switch (option) {
    case coDate: return QString::fromStdString(DateToStr(t));
    case coTime: return QString::fromStdString(TimeToStr(t));
    case coDateTime: return QString::fromStdString(DateToStr(t) + " " + TimeToStr(t));
  }
  return {};
}

QString TInsClock::ClockText() const { return ClockTextAt(option_, Now()); }

QSize TInsClock::MinimumContentSize() const {
  const QFontMetrics fm(font());
  // Both bevels frame the text on each side.
  const int borders = 2 * (bevelOuter_.BorderSize() + bevelInner_.BorderSize());
  return QSize(fm.horizontalAdvance(ClockText()) + fm.height() / 3 + borders, fm.height() + borders);
}

void TInsClock::Relayout() {
  const QSize need = MinimumContentSize();
  if (width() < need.width() || height() < need.height())
    resize(std::max(width(), need.width()), std::max(height(), need.height()));
  const QFontMetrics fm(font());
  const int b = bevelOuter_.BorderSize() + bevelInner_.BorderSize();
  const QRect inner = rect().adjusted(b, b, -b, -b);
  const int w = std::min(fm.horizontalAdvance(ClockText()), inner.width());
  const int h = std::min(fm.height(), inner.height());
  textRect_ = QRect(inner.left() + (inner.width() - w) / 2, inner.top() + (inner.height() - h) / 2, w, h);
  layoutSize_ = size();
  textLayer_->setGeometry(textRect_);
  textLayer_->setVisible(w > 0 && h > 0);
  textLayer_->SetOpaque(bevelInner_.Color().alpha() == 255);
}

QRect TInsClock::TextRect() {
  if (size() != layoutSize_) Relayout();
  return textRect_;
}

void TInsClock::SettingsChanged() {
  Relayout();
  update();
  textLayer_->update();
}

void TInsClock::resizeEvent(QResizeEvent *e) {
  TInsGraphicControl::resizeEvent(e);
  if (size() != layoutSize_) Relayout();
}

void TInsClock::SecondTick() {
  if (!isVisible()) return;
  if (autoHint_) setToolTip(QString::fromStdString(DateToStr(Now())));
  // A text of another width (a proportional font, a longer date) needs the
  // frame drawn again; otherwise only the text changes.
  if (QFontMetrics(font()).horizontalAdvance(ClockText()) != textRect_.width()) {
    Relayout();
    update();
  }
  textLayer_->update();
}

int TInsClock::TextPaintCount() const { return textLayer_->PaintCount(); }

void TInsClock::ResetPaintStats() {
  paintCount_ = 0;
  textLayer_->ResetPaintCount();
}

void TInsClock::paintEvent(QPaintEvent *) {
  ++paintCount_;
  if (size() != layoutSize_) Relayout();
  QPainter p(this);
  QRect r = rect();
  bevelOuter_.Paint(p, r);
  bevelInner_.Paint(p, r);
}

void TInsClock::PaintText(QPainter &p, const QRect &r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  if (textImage_.size() != r.size()) textImage_ = QImage(r.size(), QImage::Format_RGB32);
  textImage_.fill(bevelInner_.Color());
  {
    QPainter ip(&textImage_);
    ip.setFont(font());
    ip.setPen(fontColor_);
    ip.drawText(0, QFontMetrics(font()).ascent(), ClockText());
  }
  p.drawImage(r.topLeft(), textImage_);
}
