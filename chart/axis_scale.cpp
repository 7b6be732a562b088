#include "chart/axis_scale.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this a range is treated as a single value; the zoom widens any
// narrower range to it, so a real range never falls under it.
constexpr double kTinyStep = 1e-12;

// Guards the label loops against ranges that no step can cover in time
// (infinite or absurdly wide ones).
constexpr int kMaxStepRounds = 2000;

}  // namespace

int MaxLabelCount(int axisSize, int labelSize, int labelsSeparation) {
  if (labelSize < 1) labelSize = 1;
  const int gap = static_cast<int>(std::lround(labelsSeparation / 100.0 * labelSize));
  const int per = labelSize + (gap > 0 ? gap : 0);
  const long count = std::lround(static_cast<double>(axisSize) / per);
  return count < 1 ? 1 : static_cast<int>(count);
}

double NextLabelStep(double step) {
  if (!(step > 0) || !std::isfinite(step)) return 1;
  double power = std::pow(10.0, std::floor(std::log10(step)));
  double mantissa = step / power;
  // log10 of an exact power of ten may land a hair below it.
  if (mantissa >= 9.999999) {
    power *= 10;
    mantissa = 1;
  }
  if (mantissa < 1.999999) return 2 * power;
  if (mantissa < 4.999999) return 5 * power;
  return 10 * power;
}

double LabelStep(double range, int maxLabels, double increment) {
  range = std::fabs(range);
  if (maxLabels < 1) maxLabels = 1;
  double step = increment > 0 ? increment : (range >= 1 ? 1.0 : kTinyStep);
  if (!std::isfinite(range)) return step;
  for (int round = 0; round < kMaxStepRounds && std::llround(range / step) > maxLabels; ++round)
    step = NextLabelStep(step);
  return step;
}

TAxisTicks CalcAxisTicks(double minimum, double maximum, int axisSize, int labelSize, int labelsSeparation,
                         double increment) {
  TAxisTicks ticks;
  if (!std::isfinite(minimum) || !std::isfinite(maximum)) return ticks;
  if (maximum < minimum) std::swap(minimum, maximum);
  const double range = maximum - minimum;
  const int maxLabels = MaxLabelCount(axisSize, labelSize, labelsSeparation);
  ticks.Step = LabelStep(range, maxLabels, increment);
  if (range == 0) {
    ticks.Values.push_back(minimum);
    return ticks;
  }
  const double step = ticks.Step;
  // Values are built as k * step (not by repeated addition) so that a long
  // axis does not drift off the round numbers.
  const double eps = 1e-9;
  double k = std::ceil(minimum / step - eps);
  const double last = std::floor(maximum / step + eps);
  if (last - k > maxLabels + 2) return ticks;  // cannot happen with a grown step; no runaway loop
  for (; k <= last; k += 1) {
    double v = k * step;
    if (std::fabs(v) < step * eps) v = 0;  // no "-0" label
    ticks.Values.push_back(v);
  }
  return ticks;
}

std::vector<double> MinorTickValues(const TAxisTicks &ticks, double minimum, double maximum, int count) {
  std::vector<double> out;
  if (ticks.Values.empty() || !(ticks.Step > 0) || count < 1) return out;
  if (maximum < minimum) std::swap(minimum, maximum);
  const double minorStep = ticks.Step / (count + 1);
  const double from = ticks.Values.front() - ticks.Step;
  const size_t intervals = ticks.Values.size() + 1;
  for (size_t i = 0; i < intervals; ++i) {
    const double base = from + static_cast<double>(i) * ticks.Step;
    for (int m = 1; m <= count; ++m) {
      const double v = base + m * minorStep;
      if (v >= minimum && v <= maximum) out.push_back(v);
    }
  }
  return out;
}

int StepDecimals(double step) {
  if (!(step > 0) || !std::isfinite(step)) return 0;
  constexpr int kMostDecimals = 15;
  double scaled = step;
  for (int d = 0; d < kMostDecimals; ++d, scaled *= 10)
    if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * scaled) return d;
  return kMostDecimals;
}

std::string PictureWithDecimals(std::string_view picture, int decimals) {
  std::string out;
  out.reserve(picture.size() + static_cast<size_t>(decimals > 0 ? decimals + 1 : 0));
  // One section at a time: where its point is, how many places follow it and
  // where its last digit place is.
  size_t point = std::string_view::npos, last = std::string_view::npos;
  int places = 0;
  size_t sectionStart = 0;
  auto finishSection = [&](size_t end) {
    std::string section(picture.substr(sectionStart, end - sectionStart));
    if (last != std::string_view::npos && places < decimals) {
      const bool hasPoint = point != std::string_view::npos;
      const size_t at = (hasPoint ? std::max(point, last) : last) + 1 - sectionStart;
      section.insert(
          at, (hasPoint ? std::string() : std::string(".")) + std::string(static_cast<size_t>(decimals - places), '#'));
    }
    out += section;
    point = last = std::string_view::npos;
    places = 0;
  };
  char quote = 0;
  for (size_t i = 0; i < picture.size(); ++i) {
    const char c = picture[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      finishSection(i);
      out += ';';
      sectionStart = i + 1;
    } else if (c == '.') {
      if (point == std::string_view::npos) point = i;
    } else if (c == '0' || c == '#') {
      last = i;
      if (point != std::string_view::npos) ++places;
    }
  }
  finishSection(picture.size());
  return out;
}

double TAxisMap::Value(double pixel) const {
  const double range = Range();
  if (range == 0 || Size() == 0) return Minimum;
  const double offset = Horizontal ? pixel - StartPos : EndPos - pixel;
  return Minimum + offset * range / Size();
}
