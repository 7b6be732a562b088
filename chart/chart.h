#pragma once

#include "chart/chart_axis.h"
#include "chart/chart_parts.h"
#include "chart/line_series.h"
#include "chart/print_summary.h"
#include "chart/series_path.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

enum TPanelBevel { bvNone, bvLowered, bvRaised };
enum TBorderStyle { bsNone, bsSingle };
enum TPanningMode { pmNone, pmHorizontal, pmVertical, pmBoth };

// A stretch of the left axis' values shaded across the chart behind the
// series, with a line along each finite edge: a limit and the side of it
// that is out of bounds. An open end (an infinity) runs to the chart's edge.
struct TChartBand {
  double Low = -HUGE_VAL, High = HUGE_VAL;
  QColor Fill;  // invalid: not shaded
  QColor Edge;  // invalid: no edge lines
  Qt::PenStyle EdgeStyle = Qt::DashLine;
};

// Where a chart drawn into some rectangle put its parts. The screen layout
// also gives the axes their working values.
struct TChartLayout {
  QRect Bounds;     // the whole panel
  QRect ChartRect;  // where the axes span and the series are drawn
  QRect TitleRect, FootRect;
  std::array<TAxisMap, 4> Maps;  // indexed by TAxisPlace
  std::array<TAxisTicks, 4> Ticks;
  std::array<QRect, 4> AxisRects;  // labels and ticks strip of each visible axis
  QRect LegendRect;                // empty when the legend is hidden
};

// The line chart: a panel with a title, four axes and line series; zoom by a
// rectangle dragged with the left button, panning with the right one, a
// bitmap copy for the clipboard, and one drawing path (Draw) for the screen,
// the clipboard and the printed page.
//
// Its code is spread by purpose: chart.cpp (settings, the screen picture,
// Draw), chart_layout.cpp (where the parts go), chart_paint.cpp (panel,
// titles, axes, grid), chart_lines.cpp (the series' lines),
// chart_decorations.cpp (markers, marks, legend), chart_cursor.cpp (the
// readout cursor) and chart_zoom_pan.cpp (the mouse).
class TChart : public QWidget {
public:
  explicit TChart(QWidget *parent = nullptr);
  ~TChart() override;

  // ---- panel
  QColor Color() const { return color_; }
  void SetColor(QColor c);
  TChartGradient &Gradient() { return gradient_; }
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel b);
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel b);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int w);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int w);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  TChartWall &BackWall() { return backWall_; }
  // Percent of the panel's inner width (left, right) or height (top, bottom).
  int MarginLeft() const { return margins_[0]; }
  void SetMarginLeft(int v) { SetMargin(0, v); }
  int MarginTop() const { return margins_[1]; }
  void SetMarginTop(int v) { SetMargin(1, v); }
  int MarginRight() const { return margins_[2]; }
  void SetMarginRight(int v) { SetMargin(2, v); }
  int MarginBottom() const { return margins_[3]; }
  void SetMarginBottom(int v) { SetMargin(3, v); }

  TChartTitle &Title() { return title_; }
  TChartTitle &Foot() { return foot_; }
  TChartLegend &Legend() { return legend_; }

  TChartAxis &LeftAxis() { return *axes_[apLeft]; }
  TChartAxis &TopAxis() { return *axes_[apTop]; }
  TChartAxis &RightAxis() { return *axes_[apRight]; }
  TChartAxis &BottomAxis() { return *axes_[apBottom]; }
  TChartAxis &Axis(TAxisPlace p) { return *axes_[p]; }

  // ---- series, drawn in list order
  TLineSeries &AddSeries();
  int SeriesCount() const { return static_cast<int>(series_.size()); }
  TLineSeries &Series(int index) { return *series_.at(static_cast<size_t>(index)); }

  // ---- bands behind the series, drawn in list order. Their finite edges
  // count in the left axis' automatic range, so a limit is always in sight.
  const std::vector<TChartBand> &Bands() const { return bands_; }
  void SetBands(std::vector<TChartBand> bands);

  // ---- interaction
  bool AllowZoom() const { return allowZoom_; }
  void SetAllowZoom(bool v) { allowZoom_ = v; }
  TPanningMode AllowPanning() const { return allowPanning_; }
  void SetAllowPanning(TPanningMode m) { allowPanning_ = m; }
  bool AnimatedZoom() const { return animatedZoom_; }
  void SetAnimatedZoom(bool v) { animatedZoom_ = v; }
  int AnimatedZoomSteps() const { return animatedZoomSteps_; }
  void SetAnimatedZoomSteps(int n) { animatedZoomSteps_ = n < 1 ? 1 : n; }
  bool Zoomed() const { return zoomed_; }
  // False after a zoom or a pan until UndoZoom: the axes hold fixed ranges.
  bool ScalesRestored() const { return restored_; }

  // Zooms to the pixel rectangle (normalised first), as a finished drag does.
  void ZoomRect(const QRect &r);
  // Back to the scales saved before the first zoom or pan.
  void UndoZoom();

  std::function<void(TChart &sender)> OnZoom;
  std::function<void(TChart &sender)> OnUndoZoom;
  std::function<void(TChart &sender)> OnScroll;
  // Asked per axis before a pan moves it; may change the new ends or refuse.
  std::function<void(TChartAxis &sender, double &minimum, double &maximum, bool &allow)> OnAllowScroll;

  // ---- drawing
  // Draws the whole chart into `rect` of any painter. The chart is laid out
  // at rect.size() / scale logical pixels, so fonts, pens and margins grow
  // with `scale` (the printed page and the preview pass theirs; the screen 1).
  void Draw(QPainter &painter, const QRect &rect, double scale = 1.0);
  // Draws into an image of the chart's size, white first.
  QImage RenderImage();
  void CopyToClipboardBitmap();

  // Each of the per-column shortcuts gives the same picture as drawing every
  // point; off, every point is drawn (kept for comparison).
  bool Decimation() const { return decimation_; }
  void SetDecimation(bool v);

  // While printing, dotted and dashed 1-pixel pens take the device's thinnest line.
  bool Printing() const { return printing_; }
  void SetPrinting(bool v) { printing_ = v; }

  // ---- print settings (used by the print preview)
  TPrintMargins PrintMargins() const { return printMargins_; }
  void SetPrintMargins(const TPrintMargins &m) { printMargins_ = m; }
  bool PrintProportional() const { return printProportional_; }
  void SetPrintProportional(bool v) { printProportional_ = v; }
  int PrintResolution() const { return printResolution_; }
  void SetPrintResolution(int v);
  // A table printed under the chart when asked for: the source gives its
  // contents at print time; without a source there is none to ask for.
  std::function<TPrintSummary()> PrintSummarySource;
  bool PrintSummary() const { return printSummary_ && PrintSummarySource; }
  void SetPrintSummary(bool v) { printSummary_ = v; }
  // What goes on paper in the chart's own pixels: the chart, and the table
  // under it when it is printed.
  QSize PrintPictureSize();

  // The last screen layout (computed now if a change is pending).
  const TChartLayout &ScreenLayout();
  QRect ChartRect() { return ScreenLayout().ChartRect; }

  // Something changed: the cached picture is stale; repaint soon.
  void Invalidate();

  // ---- readout cursor: a thin vertical line at the point nearest the
  // pointer and a box of texts beside it, drawn over the cached picture
  // (chart_cursor.cpp). The points are those of the first shown series on
  // the bottom axis; left and right arrows step one point.
  struct TReadoutLine {
    QString Text;
    QColor Color;  // invalid: a plain line of the box (no colour mark)
  };
  bool ReadoutCursor() const { return readout_; }
  void SetReadoutCursor(bool on);
  // The box's lines for the point at `index` (x its value).
  std::function<std::vector<TReadoutLine>(int index, double x)> OnReadout;
  int CursorIndex() const { return cursorIndex_; }  // -1: not shown
  void SetCursorIndex(int index);
  // Where the line and the box are drawn now (empty when hidden).
  QRect CursorRect();

  // What the mouse is doing, for those who draw over the chart.
  bool Zooming() const { return zoom_.Active; }
  bool Panning() const { return pan_.Active; }
  QRect ZoomBand() const;

protected:
  void paintEvent(QPaintEvent *) override;
  void resizeEvent(QResizeEvent *) override;
  void mousePressEvent(QMouseEvent *e) override;
  void mouseMoveEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;
  void keyPressEvent(QKeyEvent *e) override;
  void leaveEvent(QEvent *e) override;

private:
  struct TDrag {
    bool Active = false;
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  };
  struct TSavedScale {
    bool Automatic, AutomaticMinimum, AutomaticMaximum;
    double Minimum, Maximum;
  };

  void SetMargin(int side, int v);
  void CalcRanges(double minimum[4], double maximum[4]);
  TChartLayout Layout(const QRect &bounds);
  int FrameWidth() const;
  void PaintPanel(QPainter &p, const TChartLayout &l);
  void PaintTitles(QPainter &p, const TChartLayout &l);
  void PaintAxis(QPainter &p, const TChartLayout &l, TAxisPlace place);
  void PaintGrid(QPainter &p, const TChartLayout &l, TAxisPlace place);
  void PaintSeries(QPainter &p, const TChartLayout &l, double scale);
  // The shading (under the grid) or the limits' lines (over it).
  void PaintBands(QPainter &p, const TChartLayout &l, bool edges) const;
  void PaintAll(QPainter &p, const TChartLayout &l, double scale);
  // Legend, point markers and marks (chart_decorations.cpp).
  QSize LegendSize() const;
  void PlaceLegend(QRect &chartArea, TChartLayout &l) const;
  void PaintLegend(QPainter &p, const TChartLayout &l) const;
  void PaintPointersAndMarks(QPainter &p, const TChartLayout &l) const;
  void PaintOneSeries(QPainter &p, TLineSeries &s, const TAxisMap &h, const TAxisMap &v, const QRect &clip,
                      double scale);
  QPen MakePen(const TChartPen &pen) const;
  QImage *DirectTarget(QPainter &p, const QColor &color, QRect &area) const;
  void WriteSpans(QImage &img, const QTransform &t, const QRect &area, const QColor &color);
  bool PressAllowed(const QPoint &at);
  void SaveScales();
  void EndPanning();
  void RenderCache();
  const TLineSeries *CursorSeries() const;
  bool PointsInSight(const TLineSeries &s, int &first, int &last);
  void CursorAtPointer(const QPoint &at);
  void PaintCursor(QPainter &p);

  QColor color_;
  TChartGradient gradient_;
  TPanelBevel bevelInner_ = bvNone, bevelOuter_ = bvRaised;
  int bevelWidth_ = 1, borderWidth_ = 0;
  TBorderStyle borderStyle_ = bsNone;
  TChartWall backWall_;
  int margins_[4] = {3, 4, 3, 4};
  TChartTitle title_, foot_;
  TChartLegend legend_;
  std::unique_ptr<TChartAxis> axes_[4];
  std::vector<std::unique_ptr<TLineSeries>> series_;
  std::vector<TChartBand> bands_;

  bool allowZoom_ = true;
  TPanningMode allowPanning_ = pmBoth;
  bool animatedZoom_ = false;
  int animatedZoomSteps_ = 8;
  bool zoomed_ = false;
  TDrag zoom_, pan_;
  TSavedScale saved_[4] = {};
  bool restored_ = true;

  bool decimation_ = true;
  bool printing_ = false;
  TPrintMargins printMargins_;
  bool printProportional_ = true;
  int printResolution_ = 0;
  bool printSummary_ = false;

  bool layoutValid_ = false;
  TChartLayout screen_;
  bool cacheValid_ = false;
  QImage cache_;
  bool destroying_ = false;

  bool readout_ = false;
  int cursorIndex_ = -1;

  // Scratch buffers kept between paints so a pan step allocates nothing.
  std::vector<TPixelPoint> path_;
  TColumnSpans spans_, wide_;
};
