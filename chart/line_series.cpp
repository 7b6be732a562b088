#include "chart/line_series.h"

#include "chart/chart.h"

#include <algorithm>
#include <cmath>

void TChartValueList::Insert(size_t at, double v) {
  // A point put before the end changes every block from its own on.
  if (at / kValueBlock < blockLow_.size()) {
    blockLow_.resize(at / kValueBlock);
    blockHigh_.resize(at / kValueBlock);
  }
  values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(at), v);
  if (std::isnan(v)) return;
  if (!hasRange_) {
    min_ = max_ = v;
    hasRange_ = true;
  } else {
    if (v < min_) min_ = v;
    if (v > max_) max_ = v;
  }
}

TValueBlocks TChartValueList::Blocks() const {
  const size_t complete = values_.size() / kValueBlock;
  for (size_t b = blockLow_.size(); b < complete; ++b) {
    double lo, hi;
    MinMax(values_.data() + b * kValueBlock, kValueBlock, lo, hi);
    blockLow_.push_back(lo);
    blockHigh_.push_back(hi);
  }
  return {blockLow_.data(), blockHigh_.data(), blockLow_.size()};
}

void TChartValueList::Clear() {
  blockLow_.clear();
  blockHigh_.clear();
  values_.clear();
  values_.shrink_to_fit();
  hasRange_ = false;
  min_ = max_ = 0;
}

TLineSeries::TLineSeries(TChart *chart) : chart_(chart), linePen_(chart, QColor(), 1), pointer_(chart), marks_(chart) {}

void TLineSeries::Repaint() {
  if (chart_) chart_->Invalidate();
}

void TLineSeries::SetSeriesColor(QColor c) {
  if (c == color_) return;
  color_ = c;
  Repaint();
}

void TLineSeries::SetActive(bool on) {
  if (on == active_) return;
  active_ = on;
  Repaint();
}

void TLineSeries::SetHorizAxis(THorizAxis a) {
  if (a == horizAxis_) return;
  horizAxis_ = a;
  Repaint();
}

void TLineSeries::SetVertAxis(TVertAxis a) {
  if (a == vertAxis_) return;
  vertAxis_ = a;
  Repaint();
}

int TLineSeries::Add(double y, const QString &label, QColor color) {
  return AddXY(static_cast<double>(Count()), y, label, color);
}

int TLineSeries::AddXY(double x, double y, const QString &label, QColor color) {
  const std::vector<double> &xs = x_.values_;
  // Appending is the usual case and costs no search.
  size_t at = xs.size();
  if (!xs.empty() && x < xs.back()) at = static_cast<size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin());
  const auto pos = static_cast<std::ptrdiff_t>(at);

  const QRgb rgb = color.isValid() ? color.rgba() : 0;
  if (rgb != 0 && colors_.empty() && Count() > 0) colors_.assign(static_cast<size_t>(Count()), 0);
  if (!colors_.empty() || rgb != 0) {
    if (!colors_.empty() && rgb != colors_.front()) uniform_ = false;
    colors_.insert(colors_.begin() + pos, rgb);
  }
  if (!label.isEmpty() && labels_.empty()) labels_.resize(static_cast<size_t>(Count()));
  if (!labels_.empty()) labels_.insert(labels_.begin() + pos, label);

  x_.Insert(at, x);
  y_.Insert(at, y);
  Repaint();
  return static_cast<int>(at);
}

void TLineSeries::Clear() {
  x_.Clear();
  y_.Clear();
  colors_.clear();
  colors_.shrink_to_fit();
  labels_.clear();
  uniform_ = true;
  if (active_) Repaint();
}

QColor TLineSeries::ValueColor(int index) const {
  if (index < 0 || index >= Count()) return color_;
  if (colors_.empty() || colors_[static_cast<size_t>(index)] == 0) return color_;
  return QColor::fromRgba(colors_[static_cast<size_t>(index)]);
}

QString TLineSeries::ValueLabel(int index) const {
  if (labels_.empty() || index < 0 || index >= Count()) return QString();
  return labels_[static_cast<size_t>(index)];
}

QColor TLineSeries::LineColor() const {
  if (linePen_.Color().isValid()) return linePen_.Color();
  if (colors_.empty() || colors_.front() == 0) return color_;
  return QColor::fromRgba(colors_.front());
}
