#include "calendar/civil_date.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct TDayCase {
  int Year, Month, Day;
  std::int64_t Days;  // since 1 January 1970
};

// Days worked out by hand around the places a calendar goes wrong: the
// epoch, the first day of a leap century and of a plain one, the leap days
// the 4-year, 100-year and 400-year rules make or skip, and dates before
// 1970 and before year 1.
const TDayCase kDays[] = {
    {1970, 1, 1, 0},        {1969, 12, 31, -1},   {1970, 3, 1, 59},     {1972, 2, 29, 789},    {1972, 3, 1, 790},
    {2000, 1, 1, 10957},    {2000, 2, 29, 11016}, {2000, 3, 1, 11017},  {2000, 12, 31, 11322}, {2001, 1, 1, 11323},
    {1900, 2, 28, -25509},  {1900, 3, 1, -25508}, {2100, 2, 28, 47540}, {2100, 3, 1, 47541},   {2400, 2, 29, 157113},
    {1600, 2, 29, -135081}, {1, 1, 1, -719162},   {0, 3, 1, -719468},   {0, 2, 29, -719469},   {9999, 12, 31, 2932896},
    {2024, 2, 29, 19782},   {2038, 1, 19, 24855},
};

TEST(CivilDate, DaysAndDatesOfTheTableBothWays) {
  for (const TDayCase &c : kDays) {
    SCOPED_TRACE(std::to_string(c.Year) + "-" + std::to_string(c.Month) + "-" + std::to_string(c.Day));
    EXPECT_EQ(civil::DaysFromCivil(c.Year, c.Month, c.Day), c.Days);
    const civil::TDate date = civil::CivilFromDays(c.Days);
    EXPECT_EQ(date.Year, c.Year);
    EXPECT_EQ(date.Month, c.Month);
    EXPECT_EQ(date.Day, c.Day);
  }
}

TEST(CivilDate, LeapYearsAndMonthLengthsFollowTheGregorianRules) {
  struct {
    int Year;
    bool Leap;
  } const years[] = {{1900, false}, {1996, true}, {1999, false}, {2000, true},
                     {2023, false}, {2024, true}, {2100, false}, {2400, true}};
  for (const auto &y : years) {
    SCOPED_TRACE(y.Year);
    EXPECT_EQ(civil::IsLeapYear(y.Year), y.Leap);
    EXPECT_EQ(civil::DaysInMonth(y.Year, 2), y.Leap ? 29 : 28);
    // A year is as long as its days say, counted by the other function.
    EXPECT_EQ(civil::DaysFromCivil(y.Year + 1, 1, 1) - civil::DaysFromCivil(y.Year, 1, 1), y.Leap ? 366 : 365);
  }
  EXPECT_EQ(civil::DaysInMonth(2023, 4), 30);
  EXPECT_EQ(civil::DaysInMonth(2023, 12), 31);
  EXPECT_EQ(civil::DaysInMonth(2023, 0), 0);
  EXPECT_EQ(civil::DaysInMonth(2023, 13), 0);
}

TEST(CivilDate, EveryDayOfFourCenturiesFollowsTheDayBefore) {
  // 1 March 1800 to the end of February 2200: every day the next date, and
  // the system's own UTC calendar agrees wherever time_t reaches.
  civil::TDate prev = civil::CivilFromDays(civil::DaysFromCivil(1800, 2, 28));
  for (std::int64_t d = civil::DaysFromCivil(1800, 3, 1); d < civil::DaysFromCivil(2200, 3, 1); ++d) {
    const civil::TDate date = civil::CivilFromDays(d);
    const bool nextDay = date.Year == prev.Year && date.Month == prev.Month && date.Day == prev.Day + 1;
    const bool nextMonth = date.Day == 1 && prev.Day == civil::DaysInMonth(prev.Year, prev.Month) &&
                           ((date.Year == prev.Year && date.Month == prev.Month + 1) ||
                            (date.Year == prev.Year + 1 && date.Month == 1 && prev.Month == 12));
    ASSERT_TRUE(nextDay || nextMonth) << d;
    ASSERT_EQ(civil::DaysFromCivil(date.Year, date.Month, date.Day), d);
    const std::time_t t = static_cast<std::time_t>(d) * 86400;
    std::tm tm{};
    if (gmtime_r(&t, &tm) != nullptr) {
      ASSERT_EQ(tm.tm_year + 1900, date.Year) << d;
      ASSERT_EQ(tm.tm_mon + 1, date.Month) << d;
      ASSERT_EQ(tm.tm_mday, date.Day) << d;
    }
    prev = date;
  }
}

}  // namespace
