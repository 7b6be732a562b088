#pragma once

#include <string>
#include <string_view>
#include <vector>

// Where the ticks and labels of a linear scale go, as plain numbers: the
// thermometer and the meter both draw from this, so the two can never
// disagree about which values carry a label.
struct TScaleDiv {
  double From = 0, To = 100;
  // Main tick values from To down to From (Steps + 1 of them); the last is
  // exactly From so rounding never leaves the bottom label off by a hair.
  std::vector<double> Major;
  // Sub tick values between neighbouring main ticks, top down.
  std::vector<double> Minor;
  // One label per main tick, same order, formatted with the scale's picture.
  std::vector<std::string> Labels;
};

// Steps main intervals (at least 1), each split into subSteps sub intervals
// (1 or less: no sub ticks). Labels use the program's number pictures and
// current decimal separator.
TScaleDiv DivideScale(double from, double to, int steps, int subSteps, std::string_view format);

// Linear map between scale values and a drawing coordinate (pixels down a
// column, degrees round an arc). Either range may run backwards.
class TScaleMap {
public:
  TScaleMap() = default;
  TScaleMap(double s1, double s2, double p1, double p2) : s1_(s1), s2_(s2), p1_(p1), p2_(p2) {}

  double Transform(double s) const;
  double Invert(double p) const;
  double S1() const { return s1_; }
  double S2() const { return s2_; }
  double P1() const { return p1_; }
  double P2() const { return p2_; }

private:
  double s1_ = 0, s2_ = 1, p1_ = 0, p2_ = 1;
};
