#pragma once

#include "chart/chart_parts.h"
#include "chart/series_path.h"

#include <QRgb>
#include <QString>

#include <string>

#include <vector>

class TChart;

enum TSeriesPointerStyle {
  psRectangle,
  psCircle,
  psTriangle,
  psDownTriangle,
  psCross,
  psDiagCross,
  psStar,
  psDiamond,
  psSmallDot
};

// A marker on every point of a series, filled with the point's colour.
class TSeriesPointer : public TChartPart {
public:
  explicit TSeriesPointer(TChart *chart) : TChartPart(chart), pen_(chart, Qt::black) {}
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Assign(visible_, v); }
  TSeriesPointerStyle Style() const { return style_; }
  void SetStyle(TSeriesPointerStyle s) { Assign(style_, s); }
  // Half the marker's width and height, in pixels.
  int HorizSize() const { return horizSize_; }
  void SetHorizSize(int v) { Assign(horizSize_, v < 1 ? 1 : v); }
  int VertSize() const { return vertSize_; }
  void SetVertSize(int v) { Assign(vertSize_, v < 1 ? 1 : v); }
  TChartPen &Pen() { return pen_; }
  const TChartPen &Pen() const { return pen_; }

private:
  bool visible_ = false;
  TSeriesPointerStyle style_ = psRectangle;
  int horizSize_ = 4, vertSize_ = 4;
  TChartPen pen_;
};

enum TSeriesMarksStyle { smsValue, smsLabel, smsLabelOrValue };

// A label over every point: its value (or its own label) in a framed box,
// joined to the point by a short arrow.
class TSeriesMarks : public TChartText {
public:
  explicit TSeriesMarks(TChart *chart)
      : TChartText(chart, QFont("Arial", 8), Qt::black, false), frame_(chart, Qt::black), arrow_(chart, Qt::white) {}
  TSeriesMarksStyle Style() const { return style_; }
  void SetStyle(TSeriesMarksStyle s) { Assign(style_, s); }
  QColor BackColor() const { return backColor_; }
  void SetBackColor(QColor c) { Assign(backColor_, c); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { Assign(transparent_, v); }
  int ArrowLength() const { return arrowLength_; }
  void SetArrowLength(int v) { Assign(arrowLength_, v < 0 ? 0 : v); }
  std::string ValueFormat() const { return valueFormat_; }
  void SetValueFormat(const std::string &f) { Assign(valueFormat_, f); }
  TChartPen &Frame() { return frame_; }
  const TChartPen &Frame() const { return frame_; }
  TChartPen &Arrow() { return arrow_; }
  const TChartPen &Arrow() const { return arrow_; }

private:
  TSeriesMarksStyle style_ = smsValue;
  QColor backColor_{255, 255, 225};
  bool transparent_ = false;
  int arrowLength_ = 8;
  std::string valueFormat_ = "#,##0.###";
  TChartPen frame_, arrow_;
};

enum THorizAxis { aBottomAxis, aTopAxis };
enum TVertAxis { aLeftAxis, aRightAxis };

// The values of one dimension of a series. X values are kept ascending
// (that is what lets the chart find the visible part by bisection); Y values
// keep the order they were added in.
class TChartValueList {
public:
  int Count() const { return static_cast<int>(values_.size()); }
  double Value(int index) const { return values_.at(static_cast<size_t>(index)); }
  double operator[](int index) const { return Value(index); }
  const double *Data() const { return values_.data(); }
  // Smallest and largest value, NaN skipped; 0 for an empty list.
  double MinValue() const { return values_.empty() || !hasRange_ ? 0 : min_; }
  double MaxValue() const { return values_.empty() || !hasRange_ ? 0 : max_; }
  bool HasRange() const { return hasRange_; }
  // Per-block extremes for drawing, brought up to date on demand.
  TValueBlocks Blocks() const;

private:
  friend class TLineSeries;
  void Insert(size_t at, double v);
  void Clear();

  std::vector<double> values_;
  double min_ = 0, max_ = 0;
  bool hasRange_ = false;
  mutable std::vector<double> blockLow_, blockHigh_;
};

// A line through the points of one channel.
class TLineSeries {
public:
  explicit TLineSeries(TChart *chart = nullptr);
  TLineSeries(const TLineSeries &) = delete;
  TLineSeries &operator=(const TLineSeries &) = delete;

  TChart *ParentChart() const { return chart_; }

  QColor SeriesColor() const { return color_; }
  void SetSeriesColor(QColor c);
  // A pen colour of its own overrides the point colours; none by default.
  TChartPen &LinePen() { return linePen_; }
  const TChartPen &LinePen() const { return linePen_; }
  QString Title() const { return title_; }
  void SetTitle(const QString &t) {
    if (t == title_) return;
    title_ = t;
    Repaint();  // the legend shows it
  }
  // Markers and labels on the points; both hidden until asked for.
  TSeriesPointer &Pointer() { return pointer_; }
  const TSeriesPointer &Pointer() const { return pointer_; }
  TSeriesMarks &Marks() { return marks_; }
  const TSeriesMarks &Marks() const { return marks_; }

  bool Active() const { return active_; }
  void SetActive(bool on);

  THorizAxis HorizAxis() const { return horizAxis_; }
  void SetHorizAxis(THorizAxis a);
  TVertAxis VertAxis() const { return vertAxis_; }
  void SetVertAxis(TVertAxis a);

  const TChartValueList &XValues() const { return x_; }
  const TChartValueList &YValues() const { return y_; }
  int Count() const { return x_.Count(); }

  // Appends y at x = Count(); an invalid colour means "the series colour".
  int Add(double y, const QString &label = QString(), QColor color = QColor());
  // Puts the point at its sorted place among the X values (after equal ones).
  int AddXY(double x, double y, const QString &label = QString(), QColor color = QColor());
  void Clear();

  // The colour a point is drawn with, and its label (empty when none).
  QColor ValueColor(int index) const;
  QString ValueLabel(int index) const;
  // True when every segment is drawn in the same colour, which lets the chart
  // draw the whole line in one go.
  bool UniformColor() const { return colors_.empty() || uniform_; }
  // The colour of every segment when UniformColor().
  QColor LineColor() const;

private:
  void Repaint();

  TChart *chart_;
  QColor color_{255, 0, 0};
  TChartPen linePen_;
  QString title_;
  TSeriesPointer pointer_;
  TSeriesMarks marks_;
  bool active_ = true;
  THorizAxis horizAxis_ = aBottomAxis;
  TVertAxis vertAxis_ = aLeftAxis;
  TChartValueList x_, y_;
  // Kept only once a point brings a colour or a label of its own: a million
  // points of a plain series cost no more than their values.
  std::vector<QRgb> colors_;  // 0: the series colour
  bool uniform_ = true;       // every entry of colors_ equal
  std::vector<QString> labels_;
};
