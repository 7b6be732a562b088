#include "widgets/ins_value_ind.h"

#include "runtime/form_font.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

// The value box is its own opaque child: a value change repaints exactly it,
// and nothing beneath it (the window's gradient) has to be drawn again.
class TInsValueIndBox : public QWidget {
public:
  explicit TInsValueIndBox(TInsValueInd *owner, std::function<void(QPainter &, const QRect &)> paint)
      : QWidget(owner), paint_(std::move(paint)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

protected:
  void paintEvent(QPaintEvent *e) override {
    (void)e;
    QPainter p(this);
    paint_(p, rect());
  }

private:
  std::function<void(QPainter &, const QRect &)> paint_;
};

namespace {

TInsValueIndBox *BoxOf(const QWidget *w) { return w->findChild<TInsValueIndBox *>(QString(), Qt::FindDirectChildrenOnly); }

}  // namespace

TInsValueInd::TInsValueInd(QWidget *parent) : TInsAnalogGControl(parent) {
  setFont(FormFont("Arial", 8));
  fontValue_ = FormFont("System", 10);

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
  bevelValue_.SetColor(clBlack);
  for (TInsSBevel *b : {&bevelInner_, &bevelOuter_, &bevelValue_})
    b->OnChange = [this] {
      if (!Loading()) Change();
    };

  new TInsValueIndBox(this, [this](QPainter &p, const QRect &r) {
    ++valuePaints_;
    PaintValue(p, r);
  });
  resize(67, 48);
  Measure();
}

void TInsValueInd::SetOptions(TValueIndOptions o) {
  if (o == options_) return;
  options_ = o;
  Change();
}

void TInsValueInd::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  Change();
}

void TInsValueInd::SetFontValue(const QFont &f) {
  if (f == fontValue_) return;
  fontValue_ = f;
  Change();
}

void TInsValueInd::SetFontValueColor(const QColor &c) {
  if (c == fontValueColor_) return;
  fontValueColor_ = c;
  Change();
}

void TInsValueInd::SetFont(const QFont &f) {
  if (f == font()) return;
  setFont(f);  // measured again through the font-change event
}

void TInsValueInd::SetFontColor(const QColor &c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  Change();
}

QSize TInsValueInd::MinimumContentSize() const {
  const QFontMetrics fm(font());
  const QFontMetrics fv(fontValue_);
  const auto &sig = SignalSettings();
  const int outer = options_.Has(opBevelOuter) ? bevelOuter_.BorderSize() : 0;
  const int inner = options_.Has(opBevelInner) ? bevelInner_.BorderSize() : 0;
  const int valB = bevelValue_.BorderSize();
  const int sampleW = fv.horizontalAdvance(sig.FormatSample());
  const int unitW = options_.Has(opUnit) ? fv.horizontalAdvance(sig.ValueUnit()) : 0;
  const int vh = fv.height();

  int h = 2 * outer + 2 * inner + vh + 2 * valB;
  if (options_.Has(opName1)) h += fm.height();
  if (options_.Has(opName2)) h += fm.height();

  int w = 2 * inner + 2 * outer;
  if (options_.Has(opName1)) w = std::max(w, fm.horizontalAdvance(sig.Name1()) + 2 * outer);
  if (options_.Has(opName2)) w = std::max(w, fm.horizontalAdvance(sig.Name2()) + 2 * outer);
  w = std::max(w, 2 * outer + 2 * inner + sampleW + unitW + 2 * valB + vh);
  return QSize(w, h);
}

void TInsValueInd::Measure() {
  const QSize need = MinimumContentSize();
  if (autoSize_)
    resize(need);
  else if (width() < need.width() || height() < need.height())
    resize(std::max(width(), need.width()), std::max(height(), need.height()));
  layout_ = ComputeLayout();
  if (TInsValueIndBox *box = BoxOf(this)) box->setGeometry(layout_.valueRect);
}

TInsValueInd::TLayout TInsValueInd::ComputeLayout() const {
  TLayout l;
  const QFontMetrics fm(font());
  const QFontMetrics fv(fontValue_);
  const auto &sig = SignalSettings();
  QRect r = rect();
  int a = 0;
  if (options_.Has(opBevelOuter)) {
    const int b = bevelOuter_.BorderSize();
    r.adjust(b, b, -b, -b);
    a = bevelOuter_.Spacing() / 2;
  }
  // Names from the bottom up: Name2 lowest, Name1 above it.
  int bottom = r.top() + r.height();  // exclusive
  if (options_.Has(opName2)) {
    bottom -= fm.height();
    l.name2 = QRect(r.left(), bottom + a, r.width(), fm.height());
  }
  if (options_.Has(opName1)) {
    bottom -= fm.height();
    l.name1 = QRect(r.left(), bottom + a, r.width(), fm.height());
  }
  r.setBottom(bottom - 1);
  l.innerArea = r;
  if (options_.Has(opBevelInner)) {
    const int b = bevelInner_.BorderSize();
    r.adjust(b, b, -b, -b);
  }
  const int vh = fv.height();
  const int f = vh / 3;
  const int sampleW = fv.horizontalAdvance(sig.FormatSample());
  const int unitW = options_.Has(opUnit) ? fv.horizontalAdvance(sig.ValueUnit()) : 0;
  const int valB = bevelValue_.BorderSize();
  l.box = QRect(r.left() + (r.width() - sampleW - unitW - f) / 2 - f, r.top(), sampleW + 2 * valB + 2 * f, 2 * valB + vh);
  l.inside = l.box.adjusted(valB, valB, -valB, -valB);
  l.unitX = l.inside.left() + l.inside.width() + f;
  l.unitY = l.inside.top();
  l.valueRect = l.inside.adjusted(f, 0, -f, 0);
  return l;
}

QRect TInsValueInd::ValueBoxRect() const { return layout_.box; }
QRect TInsValueInd::ValueInsideRect() const { return layout_.valueRect; }

TCaptionBoxes TInsValueInd::Captions() const {
  return NameCaptions(options_.Has(opName1) ? &layout_.name1 : nullptr,
                      options_.Has(opName2) ? &layout_.name2 : nullptr);
}

void TInsValueInd::PaintValue(QPainter &p, const QRect &r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  EnsureTextsCurrent();  // the separator may have changed since the last value
  if (valueImage_.size() != r.size()) valueImage_ = QImage(r.size(), QImage::Format_RGB32);
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

void TInsValueInd::ValueChanged() {
  TInsAnalogGControl::ValueChanged();
  if (TInsValueIndBox *box = BoxOf(this)) box->update();
}

void TInsValueInd::StaleChanged() {
  if (TInsValueIndBox *box = BoxOf(this)) box->update();
}

void TInsValueInd::SettingsChanged() {
  TInsAnalogGControl::SettingsChanged();
  Measure();
  update();
  if (TInsValueIndBox *box = BoxOf(this)) box->update();
}

// A font set through QWidget directly measures like one set through SetFont.
void TInsValueInd::changeEvent(QEvent *e) {
  TInsAnalogGControl::changeEvent(e);
  if (e->type() == QEvent::FontChange && !Loading()) Change();
}

void TInsValueInd::resizeEvent(QResizeEvent *e) {
  TInsAnalogGControl::resizeEvent(e);
  layout_ = ComputeLayout();
  if (TInsValueIndBox *box = BoxOf(this)) box->setGeometry(layout_.valueRect);
}

void TInsValueInd::paintEvent(QPaintEvent *e) {
  ++bodyPaints_;
  bodyArea_ += qint64(e->rect().width()) * e->rect().height();
  const TLayout &l = layout_;
  const auto &sig = SignalSettings();
  QPainter p(this);
  PaintFrameAndNames(p, options_.Has(opBevelOuter) ? &bevelOuter_ : nullptr, fontColor_,
                     options_.Has(opName1) ? &l.name1 : nullptr, options_.Has(opName2) ? &l.name2 : nullptr);
  if (options_.Has(opBevelInner)) {
    QRect r = l.innerArea;
    bevelInner_.Paint(p, r);
  }
  QRect box = l.box;
  bevelValue_.Paint(p, box);
  if (options_.Has(opUnit)) {
    QFont uf = fontValue_;
    p.setFont(uf);
    p.setPen(fontColor_);
    p.drawText(l.unitX, l.unitY + QFontMetrics(uf).ascent(), sig.ValueUnit());
  }
  // The value itself is painted by the box child.
}
