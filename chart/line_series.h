#pragma once

#include "chart/chart_parts.h"
#include "chart/series_path.h"

#include <QRgb>
#include <QString>

#include <vector>

class TChart;

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
  void SetTitle(const QString &t) { title_ = t; }

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
