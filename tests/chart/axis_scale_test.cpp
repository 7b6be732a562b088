#include "chart/axis_scale.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(LabelStep, FollowsOneTwoFiveAcrossPowersOfTen) {
  double step = 1;
  const double expected[] = {2, 5, 10, 20, 50, 100, 200, 500, 1000};
  for (double e : expected) {
    step = NextLabelStep(step);
    EXPECT_DOUBLE_EQ(step, e);
  }
  EXPECT_DOUBLE_EQ(NextLabelStep(0.1), 0.2);
  EXPECT_DOUBLE_EQ(NextLabelStep(0.5), 1);
  EXPECT_DOUBLE_EQ(NextLabelStep(3), 5);  // an odd increment joins the sequence
  EXPECT_DOUBLE_EQ(NextLabelStep(7), 10);
}

struct StepCase {
  double range;
  int maxLabels;
  double increment;
  double step;
};

class LabelStepTable : public ::testing::TestWithParam<StepCase> {};

TEST_P(LabelStepTable, GrowsUntilTheLabelsFit) {
  const StepCase c = GetParam();
  const double step = LabelStep(c.range, c.maxLabels, c.increment);
  EXPECT_DOUBLE_EQ(step, c.step);
  EXPECT_LE(std::llround(c.range / step), c.maxLabels);
}

INSTANTIATE_TEST_SUITE_P(Ranges, LabelStepTable,
                         ::testing::Values(StepCase{10, 20, 1, 1},       // whole samples while they fit
                                           StepCase{10, 10, 1, 1},       // exactly fits
                                           StepCase{10, 9, 1, 2},        //
                                           StepCase{1999, 25, 1, 100},   // 2000 samples on the window's bottom axis
                                           StepCase{1999, 16, 1, 200},   //
                                           StepCase{75, 14, 0, 10},      // temperatures, automatic start at 1
                                           StepCase{0.8, 10, 0, 0.1},    // below one, from a tiny step
                                           StepCase{0.03, 4, 0, 0.01},   //
                                           StepCase{100, 1, 0, 100},     // a single label
                                           StepCase{100, 2, 30, 50},     // start at the increment
                                           StepCase{0, 10, 0, 1e-12}));  // no range: the first step stays

TEST(MaxLabelCount, KeepsTheSeparationBetweenLabels) {
  // 441-pixel axis, 14-pixel labels, 10 % kept free: 441 / (14 + 1) = 29.4
  EXPECT_EQ(MaxLabelCount(441, 14, 10), 29);
  EXPECT_EQ(MaxLabelCount(600, 30, 100), 10);  // 600 / 60
  EXPECT_EQ(MaxLabelCount(10, 100, 10), 1);    // never below one
  EXPECT_EQ(MaxLabelCount(100, 0, 10), 100);   // an empty label counts as one pixel
}

TEST(AxisTicks, StartAtTheFirstMultipleOfTheStep) {
  const TAxisTicks t = CalcAxisTicks(-3.7, 21.2, 400, 20, 10, 0);
  ASSERT_FALSE(t.Values.empty());
  EXPECT_DOUBLE_EQ(t.Step, 2);
  EXPECT_DOUBLE_EQ(t.Values.front(), -2);
  EXPECT_DOUBLE_EQ(t.Values.back(), 20);
  EXPECT_EQ(t.Values.size(), 12u);
}

TEST(AxisTicks, IncludeBothEndsWhenTheyAreMultiples) {
  const TAxisTicks t = CalcAxisTicks(0, 10, 500, 10, 10, 1);
  EXPECT_DOUBLE_EQ(t.Step, 1);
  ASSERT_EQ(t.Values.size(), 11u);
  EXPECT_DOUBLE_EQ(t.Values.front(), 0);
  EXPECT_DOUBLE_EQ(t.Values.back(), 10);
}

TEST(AxisTicks, FractionalStepsStayOnRoundNumbers) {
  const TAxisTicks t = CalcAxisTicks(0.1, 0.9, 300, 20, 10, 0);
  EXPECT_DOUBLE_EQ(t.Step, 0.1);
  ASSERT_EQ(t.Values.size(), 9u);
  EXPECT_DOUBLE_EQ(t.Values[2], 3 * 0.1);  // built as k * step, no drift
}

TEST(AxisTicks, ZeroRangeHasOneLabelAndBadRangesNone) {
  const TAxisTicks one = CalcAxisTicks(20, 20, 300, 12, 10, 0);
  ASSERT_EQ(one.Values.size(), 1u);
  EXPECT_DOUBLE_EQ(one.Values[0], 20);
  EXPECT_TRUE(CalcAxisTicks(0, INFINITY, 300, 12, 10, 0).Values.empty());
  EXPECT_TRUE(CalcAxisTicks(NAN, 1, 300, 12, 10, 0).Values.empty());
}

TEST(AxisTicks, NegativeZeroIsWrittenAsZero) {
  const TAxisTicks t = CalcAxisTicks(-0.3, 0.3, 300, 12, 10, 0);
  bool sawZero = false;
  for (double v : t.Values)
    if (v == 0) {
      sawZero = true;
      EXPECT_FALSE(std::signbit(v));
    }
  EXPECT_TRUE(sawZero);
}

TEST(AxisTicks, MinorTicksFillEveryIntervalUpToTheEnds) {
  const TAxisTicks t = CalcAxisTicks(0.6, 3.4, 300, 10, 10, 1);  // labels 1, 2, 3
  const auto minor = MinorTickValues(t, 0.6, 3.4, 3);
  // 0.75 before the first label, 3 in each of the two full intervals, 3.25 after
  ASSERT_EQ(minor.size(), 8u);
  EXPECT_DOUBLE_EQ(minor.front(), 0.75);
  EXPECT_DOUBLE_EQ(minor[1], 1.25);
  EXPECT_DOUBLE_EQ(minor.back(), 3.25);
}

TEST(AxisMap, HorizontalRunsRightAndBackAgain) {
  TAxisMap m;
  m.Minimum = 0;
  m.Maximum = 100;
  m.StartPos = 50;
  m.EndPos = 650;
  EXPECT_EQ(m.Pixel(0), 50);
  EXPECT_EQ(m.Pixel(100), 650);
  EXPECT_EQ(m.Pixel(25), 200);
  EXPECT_DOUBLE_EQ(m.Value(200), 25);
  EXPECT_DOUBLE_EQ(m.Value(m.Position(37.25)), 37.25);
}

TEST(AxisMap, VerticalRunsUpwards) {
  TAxisMap m;
  m.Horizontal = false;
  m.Minimum = -50;
  m.Maximum = 50;
  m.StartPos = 10;
  m.EndPos = 410;
  EXPECT_EQ(m.Pixel(-50), 410);
  EXPECT_EQ(m.Pixel(50), 10);
  EXPECT_EQ(m.Pixel(0), 210);
  EXPECT_DOUBLE_EQ(m.Value(110), 25);
}

TEST(AxisMap, ZeroRangeSitsInTheMiddleAndHugeValuesSaturate) {
  TAxisMap m;
  m.Minimum = m.Maximum = 7;
  m.StartPos = 0;
  m.EndPos = 100;
  EXPECT_EQ(m.Pixel(7), 50);
  EXPECT_EQ(m.Pixel(1e9), 50);
  EXPECT_DOUBLE_EQ(m.Value(3), 7);
  m.Maximum = 8;
  EXPECT_EQ(m.Pixel(1e300), INT_MAX);
  EXPECT_EQ(m.Pixel(-1e300), INT_MIN);
  EXPECT_EQ(m.Pixel(NAN), INT_MIN);  // never drawn
}

}  // namespace
