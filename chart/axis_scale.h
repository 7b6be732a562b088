#pragma once

#include <climits>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

// The three small pieces an axis is made of, free of any widget: the label
// step rule, the label placement and the map between values and pixels.

// How many labels fit on an axis of axisSize pixels when the widest (or
// tallest) label takes labelSize pixels and labelsSeparation percent of it
// stays free between two labels. Never less than 1.
int MaxLabelCount(int axisSize, int labelSize, int labelsSeparation);

// The step after `step` along 1, 2, 5, 10, 20, 50 ...: the next of 2, 5 and
// 10 within the step's power of ten.
double NextLabelStep(double step);

// The distance between labels: starts at `increment` when it is above 0 (else
// 1 for a range of 1 or more, else a tiny step) and grows until
// round(range / step) labels fit in maxLabels.
double LabelStep(double range, int maxLabels, double increment);

// The decimals a label step needs so that labels one step apart never read
// alike: 0 for whole steps, 4 for 0.0005, 2 for 0.25 (at most 15).
int StepDecimals(double step);

// A number picture that writes at least `decimals` decimals: optional digits
// are added after its last decimal place (and a decimal point where it has
// none), in every section that writes digits. A picture that already writes
// as many comes back as it was.
std::string PictureWithDecimals(std::string_view picture, int decimals);

// Where the labels go.
struct TAxisTicks {
  double Step = 0;
  std::vector<double> Values;  // ascending, from the first multiple of Step at or above the minimum
  // The labels' texts when they are not the values themselves (a time axis);
  // empty: each value is written in the axis' format.
  std::vector<std::string> Texts;
};

TAxisTicks CalcAxisTicks(double minimum, double maximum, int axisSize, int labelSize, int labelsSeparation,
                         double increment);

// Values strictly between two labels (and beyond the outer labels, up to the
// axis ends) where the minor ticks go: `count` per interval.
std::vector<double> MinorTickValues(const TAxisTicks &ticks, double minimum, double maximum, int count);

// The map between an axis' values and pixels. Horizontal axes grow to the
// right, vertical ones upwards (from End towards Start). A range of 0 maps
// every value to the middle of the axis.
struct TAxisMap {
  double Minimum = 0, Maximum = 0;
  int StartPos = 0, EndPos = 0;  // pixel span, StartPos <= EndPos
  bool Horizontal = true;

  double Range() const { return Maximum - Minimum; }
  int Size() const { return EndPos - StartPos; }
  // Exact pixel coordinate of a value.
  double Position(double value) const {
    const double range = Range();
    if (range == 0) return (StartPos + EndPos) / 2.0;
    const double offset = (value - Minimum) * Size() / range;
    return Horizontal ? StartPos + offset : EndPos - offset;
  }
  // Rounded (halves away from zero) and saturated to the int range; NaN gives
  // INT_MIN, which no drawing accepts. Inline: it runs once per point.
  int Pixel(double value) const {
    const double p = std::round(Position(value));
    if (!(p > INT_MIN)) return INT_MIN;
    if (p > INT_MAX) return INT_MAX;
    return static_cast<int>(p);
  }
  double Value(double pixel) const;  // inverse of Position
};
