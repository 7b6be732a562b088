// The chart object: its settings, its series, the screen picture it keeps
// and the one drawing entry (Draw) every target goes through.
#include "chart/chart.h"

#include "runtime/form_font.h"
#include "widgets/ins_colors.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

QFont PixelFont(QFont f) {
  if (f.pointSizeF() > 0) f.setPixelSize(std::max(1, FormPixels(static_cast<int>(std::lround(f.pointSizeF())))));
  return f;
}

TChart::TChart(QWidget *parent)
    : QWidget(parent),
      color_(clBtnFace()),
      gradient_(this),
      backWall_(this),
      title_(this, QFont("Arial", 8), QColor(0, 0, 255)),
      foot_(this, QFont("Arial", 8, -1, true), QColor(255, 0, 0)),
      legend_(this) {
  for (int p = 0; p < 4; ++p) axes_[p] = std::make_unique<TChartAxis>(this, static_cast<TAxisPlace>(p));
  // The picture comes from our own cache; nothing underneath needs painting.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(400, 250);
}

TChart::~TChart() { destroying_ = true; }

void TChart::Invalidate() {
  layoutValid_ = false;
  cacheValid_ = false;
  if (!destroying_) update();
}

void TChart::SetColor(QColor c) {
  if (c == color_) return;
  color_ = c;
  Invalidate();
}

void TChart::SetBevelInner(TPanelBevel b) {
  if (b == bevelInner_) return;
  bevelInner_ = b;
  Invalidate();
}

void TChart::SetBevelOuter(TPanelBevel b) {
  if (b == bevelOuter_) return;
  bevelOuter_ = b;
  Invalidate();
}

void TChart::SetBevelWidth(int w) {
  w = std::max(0, w);
  if (w == bevelWidth_) return;
  bevelWidth_ = w;
  Invalidate();
}

void TChart::SetBorderWidth(int w) {
  w = std::max(0, w);
  if (w == borderWidth_) return;
  borderWidth_ = w;
  Invalidate();
}

void TChart::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  Invalidate();
}

void TChart::SetMargin(int side, int v) {
  v = std::clamp(v, 0, 45);
  if (margins_[side] == v) return;
  margins_[side] = v;
  Invalidate();
}

void TChart::SetDecimation(bool v) {
  if (v == decimation_) return;
  decimation_ = v;
  Invalidate();
}

void TChart::SetPrintResolution(int v) { printResolution_ = std::clamp(v, -100, 0); }

TLineSeries &TChart::AddSeries() {
  series_.push_back(std::make_unique<TLineSeries>(this));
  Invalidate();
  return *series_.back();
}

void TChart::Draw(QPainter &painter, const QRect &rect, double scale) {
  if (!(scale > 0)) scale = 1.0;
  const QRect logical(0, 0, static_cast<int>(std::lround(rect.width() / scale)),
                      static_cast<int>(std::lround(rect.height() / scale)));
  const TChartLayout l = Layout(logical);
  painter.save();
  painter.translate(rect.topLeft());
  PaintAll(painter, l, scale);
  painter.restore();
}

QImage TChart::RenderImage() {
  QImage img(size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  Draw(p, img.rect(), 1.0);
  return img;
}

void TChart::CopyToClipboardBitmap() { QGuiApplication::clipboard()->setImage(RenderImage()); }

void TChart::RenderCache() {
  const TChartLayout &l = ScreenLayout();
  // On a high-density screen the picture is drawn at the screen's own
  // resolution (the layout stays in widget pixels, like the mouse).
  const double dpr = devicePixelRatioF();
  const QSize pixels(static_cast<int>(std::lround(width() * dpr)), static_cast<int>(std::lround(height() * dpr)));
  if (cache_.size() != pixels) cache_ = QImage(pixels, QImage::Format_RGB32);
  cache_.setDevicePixelRatio(1.0);  // painted in device pixels
  cache_.fill(Qt::white);
  {
    QPainter p(&cache_);
    PaintAll(p, l, dpr);
  }
  cache_.setDevicePixelRatio(dpr);
  cacheValid_ = true;
}

QRect TChart::ZoomBand() const {
  return QRect(QPoint(std::min(zoom_.X0, zoom_.X1), std::min(zoom_.Y0, zoom_.Y1)),
               QPoint(std::max(zoom_.X0, zoom_.X1), std::max(zoom_.Y0, zoom_.Y1)));
}

void TChart::paintEvent(QPaintEvent *) {
  if (!cacheValid_ || cache_.deviceIndependentSize().toSize() != size()) RenderCache();
  QPainter p(this);
  p.drawImage(0, 0, cache_);
  PaintCursor(p);
  if (zoom_.Active) {
    // The band is drawn over the cached picture; the series are not redrawn.
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    p.setPen(QPen(color_ == QColor(Qt::white) ? QColor(Qt::black) : color_, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(ZoomBand());
  }
}

void TChart::resizeEvent(QResizeEvent *) { Invalidate(); }
