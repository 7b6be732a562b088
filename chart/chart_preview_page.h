#pragma once

#include "chart/chart_parts.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>

class TChart;

// What a press on the page takes hold of.
enum TDragPart { dpNone, dpLeft, dpTop, dpRight, dpBottom, dpMove, dpTopLeft, dpTopRight, dpBottomLeft, dpBottomRight };

// How close (pixels) the pointer must come to an edge or corner to take it.
constexpr int kDragReach = 4;

// The part of `chart` under `at`: a corner within reach, else an edge within
// reach, else the inside (move), else nothing.
TDragPart DragPartAt(const QRect &chart, const QPoint &at);

// Where the chart rectangle goes from `now` when the pointer, pressed at
// `press` on `atPress`, is at `at`. Edges follow the pointer, stopping one
// pixel short of the opposite edge; an edge the pointer would take off the
// paper stays where it is, and a move that would take any of the chart off
// the paper leaves it where it is.
QRect DragChartRect(TDragPart part, const QRect &atPress, const QRect &now, const QPoint &press, const QPoint &at,
                    const QRect &paper);

// The rectangle the paper takes in a control of `client` size for a page of
// `page` proportions: a tenth of the control free above and below (or left
// and right, whichever side limits), centred the other way.
QRect PaperRect(QSize client, QSize page);

// The page of the print preview: paper with its shadow, the chart where it
// will be printed, and the margin lines, which the user drags to move the
// chart's edges or the whole chart.
class TChartPreviewPage : public QWidget {
public:
  explicit TChartPreviewPage(QWidget *parent = nullptr);

  // The chart being previewed (not owned).
  TChart *Image() const { return image_; }
  void SetImage(TChart *chart);

  bool ShowMargins() const { return showMargins_; }
  void SetShowMargins(bool v);
  bool ShowImage() const { return showImage_; }
  void SetShowImage(bool v);
  // Print through a bitmap instead of drawing the chart directly.
  bool AsBitmap() const { return asBitmap_; }
  void SetAsBitmap(bool v);
  QColor PaperColor() const { return paperColor_; }
  void SetPaperColor(QColor c);
  bool AllowResize() const { return allowResize_; }
  void SetAllowResize(bool v) { allowResize_ = v; }
  bool AllowMove() const { return allowMove_; }
  void SetAllowMove(bool v) { allowMove_ = v; }
  // Redraw the chart while dragging; off, only the margin lines move.
  bool DragImage() const { return dragImage_; }
  void SetDragImage(bool v) { dragImage_ = v; }

  // The page's size in device pixels (the printer's, or the screen's when
  // there is no printer): only its proportions matter here.
  QSize PageSize() const { return pageSize_; }
  void SetPageSize(QSize s);

  QRect PaperRect() const;
  // Where the chart goes on the paper: from the margins, or where the
  // current drag has put it.
  QRect ChartRect() const;
  TDragPart Dragging() const { return drag_; }

  // The margins changed by a drag (the chart's PrintMargins already hold them).
  std::function<void(TChartPreviewPage &sender)> OnMarginsChanged;

  // Redraws the page with the chart's current settings.
  void Invalidate();
  // The page as it is shown (margin lines included), for tests and copies.
  QImage Render();

protected:
  void paintEvent(QPaintEvent *) override;
  void resizeEvent(QResizeEvent *) override;
  void mousePressEvent(QMouseEvent *e) override;
  void mouseMoveEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;

private:
  void RenderCache();
  void DrawMarginLines(QPainter &p, const QRect &chart) const;
  void PointerAt(const QPoint &at);
  void MoveTo(const QPoint &at);

  TChart *image_ = nullptr;
  bool showMargins_ = true, showImage_ = true, asBitmap_ = false;
  QColor paperColor_{255, 255, 255};
  bool allowResize_ = true, allowMove_ = true, dragImage_ = false;
  QSize pageSize_;

  TDragPart drag_ = dpNone;
  QPoint pressPoint_;
  QRect pressRect_, dragRect_;

  bool cacheValid_ = false;
  QImage cache_;
};
