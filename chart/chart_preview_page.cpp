#include "chart/chart_preview_page.h"

#include "chart/chart.h"
#include "chart/chart_print.h"
#include "runtime/application.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int RightOf(const QRect &r) { return r.left() + r.width(); }   // first column past it
int BottomOf(const QRect &r) { return r.top() + r.height(); }  // first row past it

QSize ScreenSize() {
  if (QScreen *s = QGuiApplication::primaryScreen()) return s->size();
  return QSize(1024, 768);
}

Qt::CursorShape CursorFor(TDragPart part) {
  switch (part) {
    case dpTopLeft:
    case dpBottomRight: return Qt::SizeFDiagCursor;
    case dpTopRight:
    case dpBottomLeft: return Qt::SizeBDiagCursor;
    case dpLeft:
    case dpRight: return Qt::SplitHCursor;
    case dpTop:
    case dpBottom: return Qt::SplitVCursor;
    case dpMove: return Qt::OpenHandCursor;
    case dpNone: break;
  }
  return Qt::ArrowCursor;
}

bool IsResize(TDragPart part) { return part != dpNone && part != dpMove; }

}  // namespace

TDragPart DragPartAt(const QRect &chart, const QPoint &at) {
  // The margin lines lie just outside the chart: one pixel left of and above
  // it, and on the first column and row past it.
  const int lx = chart.left() - 1, rx = RightOf(chart), ty = chart.top() - 1, by = BottomOf(chart);
  auto near = [](int a, int b) { return std::abs(a - b) <= kDragReach; };
  const bool alongX = at.x() >= lx - kDragReach && at.x() <= rx + kDragReach;
  const bool alongY = at.y() >= ty - kDragReach && at.y() <= by + kDragReach;
  const bool l = near(at.x(), lx) && alongY, r = near(at.x(), rx) && alongY;
  const bool t = near(at.y(), ty) && alongX, b = near(at.y(), by) && alongX;
  // On a very narrow chart both edges are in reach; the nearer one wins.
  const bool left = l && (!r || std::abs(at.x() - lx) <= std::abs(at.x() - rx));
  const bool right = r && !left;
  const bool top = t && (!b || std::abs(at.y() - ty) <= std::abs(at.y() - by));
  const bool bottom = b && !top;
  if (left && top) return dpTopLeft;
  if (right && top) return dpTopRight;
  if (left && bottom) return dpBottomLeft;
  if (right && bottom) return dpBottomRight;
  if (left) return dpLeft;
  if (right) return dpRight;
  if (top) return dpTop;
  if (bottom) return dpBottom;
  if (chart.contains(at)) return dpMove;
  return dpNone;
}

QRect DragChartRect(TDragPart part, const QRect &a, const QRect &now, const QPoint &press, const QPoint &at,
                    const QRect &paper) {
  const int dx = at.x() - press.x(), dy = at.y() - press.y();
  const int pl = paper.left(), pt = paper.top(), pr = RightOf(paper), pb = BottomOf(paper);
  int l = now.left(), t = now.top(), r = RightOf(now), b = BottomOf(now);
  // An edge the pointer would take off the paper stays where it is; one
  // that would cross the opposite edge stops a pixel short of it.
  auto dragLeft = [&] {
    if (a.left() + dx >= pl) l = std::min(a.left() + dx, r - 1);
  };
  auto dragRight = [&] {
    if (RightOf(a) + dx <= pr) r = std::max(RightOf(a) + dx, l + 1);
  };
  auto dragTop = [&] {
    if (a.top() + dy >= pt) t = std::min(a.top() + dy, b - 1);
  };
  auto dragBottom = [&] {
    if (BottomOf(a) + dy <= pb) b = std::max(BottomOf(a) + dy, t + 1);
  };
  switch (part) {
    case dpNone: return now;
    case dpLeft: dragLeft(); break;
    case dpRight: dragRight(); break;
    case dpTop: dragTop(); break;
    case dpBottom: dragBottom(); break;
    case dpTopLeft: dragLeft(), dragTop(); break;
    case dpTopRight: dragRight(), dragTop(); break;
    case dpBottomLeft: dragLeft(), dragBottom(); break;
    case dpBottomRight: dragRight(), dragBottom(); break;
    case dpMove: {
      // The whole chart follows only while all of it stays on the paper.
      const QRect moved = a.translated(dx, dy);
      if (moved.left() >= pl && moved.top() >= pt && RightOf(moved) <= pr && BottomOf(moved) <= pb) return moved;
      return now;
    }
  }
  return QRect(l, t, r - l, b - t);
}

QRect PaperRect(QSize client, QSize page) {
  const int cw = client.width(), ch = client.height();
  if (cw <= 0 || ch <= 0) return QRect();
  if (page.width() <= 0 || page.height() <= 0) page = QSize(1, 1);
  const long long W = page.width(), H = page.height();
  // The other side to the nearest pixel: cut, it made a landscape sheet a
  // pixel too wide for its height on a small page.
  if (ch * W < cw * H) {
    const int top = static_cast<int>(std::lround(ch / 10.0));
    const int height = ch - static_cast<int>(std::lround(ch / 5.0));
    const int width = static_cast<int>(std::lround(static_cast<double>(height) * W / H));
    return QRect((cw - width) / 2, top, width, height);
  }
  const int left = static_cast<int>(std::lround(cw / 10.0));
  const int width = cw - static_cast<int>(std::lround(cw / 5.0));
  const int height = static_cast<int>(std::lround(static_cast<double>(width) * H / W));
  return QRect(left, (ch - height) / 2, width, height);
}

// ---------------------------------------------------------------- the page

TChartPreviewPage::TChartPreviewPage(QWidget *parent) : QWidget(parent), pageSize_(ScreenSize()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);  // the cursor tells what a press would take
}

void TChartPreviewPage::SetImage(TChart *chart) {
  image_ = chart;
  // The line chart draws itself; only a chart that paints into a bitmap of
  // its own would need to be printed through one.
  asBitmap_ = false;
  Invalidate();
}

void TChartPreviewPage::SetShowMargins(bool v) {
  if (v == showMargins_) return;
  showMargins_ = v;
  update();  // the lines lie over the cached page
}

void TChartPreviewPage::SetShowImage(bool v) {
  if (v == showImage_) return;
  showImage_ = v;
  Invalidate();
}

void TChartPreviewPage::SetAsBitmap(bool v) {
  if (v == asBitmap_) return;
  asBitmap_ = v;
  Invalidate();
}

void TChartPreviewPage::SetPaperColor(QColor c) {
  if (c == paperColor_) return;
  paperColor_ = c;
  Invalidate();
}

void TChartPreviewPage::SetPageSize(QSize s) {
  if (s == pageSize_) return;
  pageSize_ = s;
  Invalidate();
}

QRect TChartPreviewPage::PaperRect() const { return ::PaperRect(size(), pageSize_); }

QRect TChartPreviewPage::ChartRect() const {
  if (drag_ != dpNone) return dragRect_;
  return MarginRect(PaperRect(), image_ ? image_->PrintMargins() : TPrintMargins());
}

void TChartPreviewPage::Invalidate() {
  cacheValid_ = false;
  update();
}

void TChartPreviewPage::RenderCache() {
  if (cache_.size() != size()) cache_ = QImage(size(), QImage::Format_RGB32);
  cache_.fill(palette().color(QPalette::Window));
  const QRect paper = PaperRect();
  if (!paper.isEmpty()) {
    QPainter p(&cache_);
    const int pr = RightOf(paper), pb = BottomOf(paper);
    // Shadow along the right edge and the bottom, then the paper itself.
    p.fillRect(QRect(pr, paper.top() + 4, 5, paper.height()), Qt::black);
    p.fillRect(QRect(paper.left() + 5, pb, paper.width(), 4), Qt::black);
    p.fillRect(paper, paperColor_);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(paper.adjusted(0, 0, -1, -1));
    if (showImage_ && image_) DrawChartOnPage(*image_, p, ChartRect(), asBitmap_, paperColor_);
  }
  cacheValid_ = true;
}

void TChartPreviewPage::DrawMarginLines(QPainter &p, const QRect &chart) const {
  const QRect paper = PaperRect();
  if (paper.isEmpty()) return;
  p.save();
  p.setClipRect(paper);
  // Not-xor with silver keeps the lines visible on any paper: silver over
  // white, white over silver, light over grey. (A white pen would leave
  // every pixel as it was.)
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  p.setPen(QPen(QColor(192, 192, 192), 0, Qt::DotLine));
  const int lx = chart.left() - 1, rx = RightOf(chart), ty = chart.top() - 1, by = BottomOf(chart);
  const int py0 = paper.top(), py1 = BottomOf(paper) - 1, px0 = paper.left(), px1 = RightOf(paper) - 1;
  p.drawLine(lx, py0, lx, py1);
  p.drawLine(rx, py0, rx, py1);
  p.drawLine(px0, ty, px1, ty);
  p.drawLine(px0, by, px1, by);
  p.restore();
}

QImage TChartPreviewPage::Render() {
  if (!cacheValid_ || cache_.size() != size()) RenderCache();
  QImage shown = cache_.copy();
  if (showMargins_) {
    QPainter p(&shown);
    DrawMarginLines(p, ChartRect());
  }
  return shown;
}

void TChartPreviewPage::paintEvent(QPaintEvent *) {
  RunHandler([this] {
    if (!cacheValid_ || cache_.size() != size()) RenderCache();
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    // The lines go over the page as it is; a drag moves them without
    // drawing the chart again.
    if (showMargins_) DrawMarginLines(p, ChartRect());
  });
}

void TChartPreviewPage::resizeEvent(QResizeEvent *) { Invalidate(); }

void TChartPreviewPage::PointerAt(const QPoint &at) {
  TDragPart part = PaperRect().contains(at) ? DragPartAt(ChartRect(), at) : dpNone;
  if ((part == dpMove && !allowMove_) || (IsResize(part) && !allowResize_)) part = dpNone;
  setCursor(CursorFor(part));
}

void TChartPreviewPage::mousePressEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (e->button() != Qt::LeftButton || drag_ != dpNone || !image_) return;
    if (!PaperRect().contains(at)) return;
    const QRect chart = ChartRect();
    const TDragPart part = DragPartAt(chart, at);
    if (part == dpNone || (part == dpMove && !allowMove_) || (IsResize(part) && !allowResize_)) return;
    drag_ = part;
    pressPoint_ = at;
    pressRect_ = dragRect_ = chart;
    if (part == dpMove) setCursor(Qt::ClosedHandCursor);
  });
}

void TChartPreviewPage::MoveTo(const QPoint &at) {
  // The pointer off the paper moves nothing; the chart waits for it there.
  if (!PaperRect().contains(at)) return;
  const QRect next = DragChartRect(drag_, pressRect_, dragRect_, pressPoint_, at, PaperRect());
  if (next == dragRect_) return;
  dragRect_ = next;
  image_->SetPrintMargins(MarginsOf(PaperRect(), dragRect_));
  // Margins set by hand are no longer the proportional ones.
  image_->SetPrintProportional(false);
  if (dragImage_) cacheValid_ = false;
  update();
  if (OnMarginsChanged) OnMarginsChanged(*this);
}

void TChartPreviewPage::mouseMoveEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (drag_ == dpNone) {
      PointerAt(at);
      return;
    }
    MoveTo(at);
  });
}

void TChartPreviewPage::mouseReleaseEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (drag_ == dpNone || e->button() != Qt::LeftButton) return;
    drag_ = dpNone;
    // The chart in its new place, from the margins it now has.
    Invalidate();
    PointerAt(at);
  });
}
