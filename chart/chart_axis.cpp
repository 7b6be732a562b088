#include "chart/chart_axis.h"

#include "chart/chart.h"
#include "runtime/number_format.h"

#include <algorithm>

void TChartPart::Changed() {
  if (chart_) chart_->Invalidate();
}

TChartAxis::TChartAxis(TChart *chart, TAxisPlace place)
    : TChartPart(chart),
      place_(place),
      title_(chart, place == apLeft    ? 90
                    : place == apRight ? 270
                                       : 0),
      axisPen_(chart, Qt::black, 2),
      ticks_(chart, 4),
      minorTicks_(chart, 2, 3),
      grid_(chart, QColor(128, 128, 128), 1, Qt::DotLine),
      minorGrid_(chart, QColor(128, 128, 128), 1, Qt::DotLine, false) {
  map_.Horizontal = Horizontal();
}

void TChartAxis::SetMinMax(double minimum, double maximum) {
  if (maximum < minimum) std::swap(minimum, maximum);
  if (maximum - minimum < 1e-10) maximum = minimum + 1e-10;
  if (!automatic_ && !automaticMinimum_ && !automaticMaximum_ && minimum == minimum_ && maximum == maximum_) return;
  automatic_ = automaticMinimum_ = automaticMaximum_ = false;
  minimum_ = minimum;
  maximum_ = maximum;
  Changed();
}

std::string TChartAxis::LabelText(double value, double step) const {
  const int decimals = StepDecimals(step);
  if (decimals == 0) return FormatFloat(valuesFormat_, value);
  return FormatFloat(PictureWithDecimals(valuesFormat_, decimals), value);
}

void TChartAxis::SetLabelSource(TAxisLabelSource source) {
  labelSource_ = std::move(source);
  Changed();
}
