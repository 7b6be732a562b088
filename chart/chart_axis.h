#pragma once

#include "chart/axis_scale.h"
#include "chart/chart_parts.h"

#include <functional>
#include <string>

enum TAxisLabelStyle { talAuto, talNone, talValue, talMark, talText };

enum TAxisPlace { apLeft, apTop, apRight, apBottom };

// Where an axis' labels come from when they are not its own values (a time
// axis over sample numbers): the ticks and their texts between the axis'
// ends, for an axis `size` pixels long whose labels keep `separation`
// percent of their width apart; `width` measures a text in the labels' font.
using TAxisLabelSource = std::function<TAxisTicks(double minimum, double maximum, int size, int separation,
                                                  const std::function<int(const std::string &)> &width)>;

// One of the chart's four axes: its range (automatic or fixed), how its
// labels look and, once the chart has been laid out on the screen, where it
// lies (the working values used for every value/pixel conversion).
class TChartAxis : public TChartPart {
public:
  TChartAxis(TChart *chart, TAxisPlace place);

  TAxisPlace Place() const { return place_; }
  bool Horizontal() const { return place_ == apTop || place_ == apBottom; }
  bool OtherSide() const { return place_ == apTop || place_ == apRight; }

  bool Automatic() const { return automatic_; }
  void SetAutomatic(bool v) { Assign(automatic_, v); }
  bool AutomaticMinimum() const { return automaticMinimum_; }
  void SetAutomaticMinimum(bool v) { Assign(automaticMinimum_, v); }
  bool AutomaticMaximum() const { return automaticMaximum_; }
  void SetAutomaticMaximum(bool v) { Assign(automaticMaximum_, v); }
  double Minimum() const { return minimum_; }
  void SetMinimum(double v) { Assign(minimum_, v); }
  double Maximum() const { return maximum_; }
  void SetMaximum(double v) { Assign(maximum_, v); }
  // Fixes the range exactly (automatic scaling off); ends given the wrong way
  // round are swapped and a range narrower than 1e-10 is widened to it.
  void SetMinMax(double minimum, double maximum);

  double Increment() const { return increment_; }
  void SetIncrement(double v) { Assign(increment_, v < 0 ? 0.0 : v); }
  std::string AxisValuesFormat() const { return valuesFormat_; }
  void SetAxisValuesFormat(const std::string &f) { Assign(valuesFormat_, f); }
  TAxisLabelStyle LabelStyle() const { return labelStyle_; }
  void SetLabelStyle(TAxisLabelStyle s) { Assign(labelStyle_, s); }
  int LabelsSeparation() const { return labelsSeparation_; }
  void SetLabelsSeparation(int percent) { Assign(labelsSeparation_, percent < 0 ? 0 : percent); }
  bool Labels() const { return labels_; }
  void SetLabels(bool v) { Assign(labels_, v); }
  QFont LabelsFont() const { return labelsFont_; }
  void SetLabelsFont(const QFont &f) { Assign(labelsFont_, f); }
  QColor LabelsFontColor() const { return labelsColor_; }
  void SetLabelsFontColor(QColor c) { Assign(labelsColor_, c); }

  // Part of the chart rectangle the axis spans, in percent.
  double StartPosition() const { return startPosition_; }
  void SetStartPosition(double percent) { Assign(startPosition_, percent); }
  double EndPosition() const { return endPosition_; }
  void SetEndPosition(double percent) { Assign(endPosition_, percent); }

  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Assign(visible_, v); }

  TChartAxisTitle &Title() { return title_; }
  const TChartAxisTitle &Title() const { return title_; }
  TChartPen &AxisPen() { return axisPen_; }
  const TChartPen &AxisPen() const { return axisPen_; }
  TChartTicks &Ticks() { return ticks_; }
  const TChartTicks &Ticks() const { return ticks_; }
  TChartTicks &MinorTicks() { return minorTicks_; }
  const TChartTicks &MinorTicks() const { return minorTicks_; }
  TChartPen &Grid() { return grid_; }
  const TChartPen &Grid() const { return grid_; }
  TChartPen &MinorGrid() { return minorGrid_; }
  const TChartPen &MinorGrid() const { return minorGrid_; }

  // The text of a label for a value, in the axis format with the program's
  // decimal separator. Given the labels' step, with as many decimals as the
  // step needs beyond the format's own, so that a deep zoom still tells its
  // labels apart.
  std::string LabelText(double value, double step = 0) const;

  // Labels from elsewhere; none (the default): the axis' own values.
  const TAxisLabelSource &LabelSource() const { return labelSource_; }
  void SetLabelSource(TAxisLabelSource source);

  // Working values of the last screen layout.
  const TAxisMap &Map() const { return map_; }
  double IMinimum() const { return map_.Minimum; }
  double IMaximum() const { return map_.Maximum; }
  double IRange() const { return map_.Range(); }
  int IStartPos() const { return map_.StartPos; }
  int IEndPos() const { return map_.EndPos; }
  int IAxisSize() const { return map_.Size(); }
  int CalcPosValue(double value) const { return map_.Pixel(value); }
  double CalcPosPoint(int pixel) const { return map_.Value(pixel); }

  // Set by the chart when it lays itself out for the screen.
  void SetMap(const TAxisMap &map) { map_ = map; }

private:
  TAxisPlace place_;
  bool automatic_ = true, automaticMinimum_ = true, automaticMaximum_ = true;
  double minimum_ = 0, maximum_ = 0;
  double increment_ = 0;
  std::string valuesFormat_ = "#,##0.###";
  TAxisLabelStyle labelStyle_ = talAuto;
  int labelsSeparation_ = 10;
  bool labels_ = true;
  QFont labelsFont_{"Arial", 8};
  QColor labelsColor_{0, 0, 0};
  double startPosition_ = 0, endPosition_ = 100;
  bool visible_ = true;
  TChartAxisTitle title_;
  TChartPen axisPen_;
  TChartTicks ticks_;
  TChartTicks minorTicks_;
  TChartPen grid_;
  TChartPen minorGrid_;
  TAxisMap map_;
  TAxisLabelSource labelSource_;
};
