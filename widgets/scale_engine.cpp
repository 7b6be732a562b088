#include "widgets/scale_engine.h"

#include "runtime/number_format.h"

#include <algorithm>

TScaleDiv DivideScale(double from, double to, int steps, int subSteps, std::string_view format) {
  TScaleDiv d;
  d.From = from;
  d.To = to;
  steps = std::max(steps, 1);
  const double s = (to - from) / steps;
  d.Major.reserve(size_t(steps) + 1);
  d.Labels.reserve(size_t(steps) + 1);
  for (int i = 0; i <= steps; ++i) {
    const double v = i == steps ? from : to - i * s;
    d.Major.push_back(v);
    d.Labels.push_back(FormatFloat(format, v));
  }
  if (subSteps > 1) {
    d.Minor.reserve(size_t(steps) * size_t(subSteps - 1));
    const double sub = s / subSteps;
    for (int i = 0; i < steps; ++i)
      for (int j = 1; j < subSteps; ++j) d.Minor.push_back(to - i * s - j * sub);
  }
  return d;
}

double TScaleMap::Transform(double s) const {
  if (s2_ == s1_) return p1_;
  return p1_ + (s - s1_) * (p2_ - p1_) / (s2_ - s1_);
}

double TScaleMap::Invert(double p) const {
  if (p2_ == p1_) return s1_;
  return s1_ + (p - p1_) * (s2_ - s1_) / (p2_ - p1_);
}
