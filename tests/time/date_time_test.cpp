#include "time/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "tests/time/date_fields_print.h"

namespace tavrel {
namespace {

DateTime Make(const DateFields& f) {
  return MakeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

// ---- Composing: the day numbers and fractions of known dates -------------

struct KnownValue {
  DateFields fields;
  double value;
};

TEST(MakeDateTime, KnownDatesGiveTheirDayNumbers) {
  const std::vector<KnownValue> cases = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},      {{1899, 12, 31, 0, 0, 0}, 1.0},
      {{1900, 1, 1, 0, 0, 0}, 2.0},        {{1900, 2, 28, 0, 0, 0}, 60.0},
      {{1900, 3, 1, 0, 0, 0}, 61.0},       {{2000, 1, 1, 0, 0, 0}, 36526.0},
      {{2020, 12, 7, 0, 0, 0}, 44172.0},   {{2020, 12, 7, 12, 0, 0}, 44172.5},
      {{1899, 12, 30, 18, 0, 0}, 0.75},    {{1899, 12, 29, 6, 0, 0}, -1.25},
      {{1899, 1, 1, 0, 0, 0}, -363.0},     {{100, 1, 1, 0, 0, 0}, -657434.0},
      {{1601, 1, 1, 0, 0, 0}, -109205.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.fields));
    EXPECT_EQ(Make(c.fields), c.value);
  }
}

TEST(MakeDateTime, OmittedFieldsAreTheStartOfTheYear) {
  EXPECT_EQ(MakeDateTime(2000), 36526.0);
  EXPECT_EQ(MakeDateTime(2020, 12), MakeDateTime(2020, 12, 1, 0, 0, 0));
  EXPECT_EQ(MakeDateTime(0, 0, 0, 0, 0, 0), -657434.0);
}

TEST(MakeDateTime, TimeOfDayIsSecondsOverADay) {
  const double second = 1.1574074074074073e-05;
  EXPECT_EQ(MakeDateTime(2020, 12, 7, 3, 4, 5), 44172.0 + (3 * 3600 + 4 * 60 + 5) * second);
  EXPECT_EQ(MakeDateTime(2020, 12, 7, 23, 59, 59), 44172.0 + 86399 * second);
  // Before 1899-12-30 the time of day counts away from zero.
  EXPECT_EQ(MakeDateTime(1899, 12, 29, 23, 59, 59), -(1.0 + 86399 * second));
}

TEST(MakeDateTime, OutOfRangeFieldsAreClamped) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    DateFields given;
    DateFields expected;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0, 0, 0, 0}, {100, 1, 1, 0, 0, 0}},
      {{99, 6, 15, 1, 2, 3}, {100, 6, 15, 1, 2, 3}},
      {{kMin, kMin, kMin, kMin, kMin, kMin}, {100, 1, 1, 0, 0, 0}},
      {{2021, 2, 31, 0, 0, 0}, {2021, 2, 28, 0, 0, 0}},
      {{2020, 2, 30, 0, 0, 0}, {2020, 2, 29, 0, 0, 0}},
      {{1900, 2, 29, 0, 0, 0}, {1900, 2, 28, 0, 0, 0}},
      {{2020, 4, 31, 0, 0, 0}, {2020, 4, 30, 0, 0, 0}},
      {{2020, 13, 5, 0, 0, 0}, {2020, 12, 5, 0, 0, 0}},
      {{2021, 13, 32, 0, 0, 0}, {2021, 12, 31, 0, 0, 0}},  // day held to the clamped month
      {{2020, -5, 0, 0, 0, 0}, {2020, 1, 1, 0, 0, 0}},
      {{2020, 6, 15, 25, 0, 0}, {2020, 6, 15, 23, 0, 0}},
      {{2020, 6, 15, -1, 0, 0}, {2020, 6, 15, 0, 0, 0}},
      {{2020, 6, 15, 12, 60, 0}, {2020, 6, 15, 12, 59, 0}},
      {{2020, 6, 15, 12, -7, 0}, {2020, 6, 15, 12, 0, 0}},
      {{2020, 6, 15, 12, 30, -3}, {2020, 6, 15, 12, 30, 0}},
      {{2020, 6, 15, 12, 30, 60}, {2020, 6, 15, 12, 30, 59}},
      {{2020, kMax, kMax, kMax, kMax, kMax}, {2020, 12, 31, 23, 59, 59}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.given));
    EXPECT_EQ(SplitDateTime(Make(c.given)), c.expected);
  }
}

TEST(MakeDateTime, YearsHaveNoUpperBound) {
  // That far out a double resolves only about ten seconds: take noon, held exactly.
  const DateFields last{std::numeric_limits<std::int32_t>::max(), 12, 31, 12, 0, 0};
  EXPECT_EQ(SplitDateTime(Make(last)), last);
}

// ---- The calendar ---------------------------------------------------------

TEST(DaysInMonth, FollowsTheGregorianLeapRule) {
  struct Case {
    std::int32_t year, month, days;
  };
  const std::vector<Case> cases = {
      {2021, 1, 31}, {2021, 2, 28}, {2020, 2, 29}, {1900, 2, 28}, {2000, 2, 29},
      {2100, 2, 28}, {2400, 2, 29}, {1600, 2, 29}, {100, 2, 28},  {2021, 4, 30},
      {2021, 6, 30}, {2021, 9, 30}, {2021, 11, 30}, {2021, 12, 31}, {2021, 7, 31},
      {2021, 0, 31}, {2021, 13, 31}, {2020, -2, 31},  // held into 1..12
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
  }
}

// Every day from 1599 to 2401 round-trips and lies one day after the one before.
TEST(SplitDateTime, EveryDayOfFourCenturiesRoundTrips) {
  DateTime previous = MakeDateTime(1598, 12, 31);
  for (std::int32_t year = 1599; year <= 2401; ++year) {
    for (std::int32_t month = 1; month <= 12; ++month) {
      for (std::int32_t day = 1; day <= DaysInMonth(year, month); ++day) {
        const DateFields fields{year, month, day, 13, 14, 15};
        const DateTime value = Make(fields);
        const DateFields split = SplitDateTime(value);
        ASSERT_EQ(split, fields);
        ASSERT_EQ(std::trunc(value) - std::trunc(previous), 1.0) << ::testing::PrintToString(fields);
        previous = value;
      }
    }
  }
}

TEST(SplitDateTime, ReadsDatesOnBothSidesOfTheBase) {
  const std::vector<KnownValue> cases = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},        {{1899, 12, 30, 6, 0, 0}, -0.25},
      {{1899, 12, 29, 6, 0, 0}, -1.25},      {{1899, 12, 31, 18, 0, 0}, 1.75},
      {{100, 1, 1, 0, 0, 0}, -657434.0},     {{2020, 12, 7, 12, 0, 0}, 44172.5},
      {{1899, 1, 1, 0, 0, 0}, -363.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitDateTime(c.value), c.fields) << c.value;
  }
}

// A time of day within half a second of midnight belongs to the next day, so
// no field ever reads hour 24; for a value before the base, the next day is
// the one a day later in the calendar as well.
TEST(SplitDateTime, TimeRoundingUpToMidnightCarriesIntoTheNextDay) {
  const double almostOneDay = 1.0 - 1e-7;  // 0.009 s before midnight
  const std::vector<KnownValue> cases = {
      {{2020, 12, 8, 0, 0, 0}, 44172.0 + almostOneDay},
      {{2020, 12, 8, 0, 0, 0}, 44172.0 + (86399.6 / 86400)},
      {{2020, 12, 7, 23, 59, 59}, 44172.0 + (86399.4 / 86400)},
      {{2021, 1, 1, 0, 0, 0}, MakeDateTime(2020, 12, 31) + almostOneDay},
      {{1900, 1, 1, 0, 0, 0}, 1.0 + almostOneDay},
      {{1899, 12, 31, 0, 0, 0}, almostOneDay},
      {{1899, 12, 31, 0, 0, 0}, -almostOneDay},        // 1899-12-30 at 24:00
      {{1899, 12, 30, 0, 0, 0}, -1.0 - almostOneDay},  // 1899-12-29 at 24:00
      {{100, 1, 2, 0, 0, 0}, -657434.0 - almostOneDay},
      {{2020, 12, 7, 0, 0, 1}, 44172.0 + 1.4 / 86400},
      {{2020, 12, 7, 0, 0, 2}, 44172.0 + 1.6 / 86400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(SplitDateTime(c.value), c.fields);
    EXPECT_EQ(HourOf(c.value), c.fields.hour);
  }
}

TEST(SplitDateTime, UnrepresentableValuesGiveZeroFields) {
  const DateFields zero{};
  EXPECT_EQ(SplitDateTime(std::numeric_limits<double>::quiet_NaN()), zero);
  EXPECT_EQ(SplitDateTime(std::numeric_limits<double>::infinity()), zero);
  EXPECT_EQ(SplitDateTime(-std::numeric_limits<double>::infinity()), zero);
  EXPECT_EQ(SplitDateTime(1e300), zero);
  EXPECT_EQ(SplitDateTime(-1e14), zero);  // a year below the 32-bit range
  EXPECT_EQ(HourOf(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(HourOf, IsTheHourOfTheTimeOfDay) {
  EXPECT_EQ(HourOf(44172.5), 12);
  EXPECT_EQ(HourOf(MakeDateTime(2020, 12, 7, 23, 59, 59)), 23);
  EXPECT_EQ(HourOf(MakeDateTime(2020, 12, 7, 0, 59, 59)), 0);
  EXPECT_EQ(HourOf(MakeDateTime(2020, 12, 7, 1, 0, 0)), 1);
  EXPECT_EQ(HourOf(-1.25), 6);  // before the base: the magnitude of the fraction
  EXPECT_EQ(HourOf(MakeDateTime(1899, 12, 29, 18, 30, 0)), 18);
  EXPECT_EQ(HourOf(0.75), 18);
}

// ---- AddInterval ----------------------------------------------------------

struct IntervalCase {
  DateFields start;
  std::int32_t unit;
  std::int32_t count;
  DateFields expected;
};

void PrintTo(const IntervalCase& c, std::ostream* out) {
  PrintTo(c.start, out);
  *out << " unit " << c.unit << " count " << c.count;
}

class AddIntervalTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(AddIntervalTest, MovesByTheUnit) {
  const IntervalCase& c = GetParam();
  EXPECT_EQ(SplitDateTime(AddInterval(Make(c.start), c.unit, c.count)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Years, AddIntervalTest,
    ::testing::Values(
        IntervalCase{{2020, 2, 29, 10, 20, 30}, 1, 1, {2021, 2, 28, 10, 20, 30}},
        IntervalCase{{2020, 2, 29, 10, 20, 30}, 1, 4, {2024, 2, 29, 10, 20, 30}},
        IntervalCase{{2020, 2, 29, 0, 0, 0}, 1, -1, {2019, 2, 28, 0, 0, 0}},
        IntervalCase{{2020, 2, 29, 0, 0, 0}, 1, 100, {2120, 2, 29, 0, 0, 0}},
        IntervalCase{{2020, 2, 29, 0, 0, 0}, 1, 80, {2100, 2, 28, 0, 0, 0}},
        IntervalCase{{2021, 3, 31, 23, 59, 59}, 1, -1, {2020, 3, 31, 23, 59, 59}},
        IntervalCase{{2020, 12, 7, 0, 0, 0}, 1, -121, {1899, 12, 7, 0, 0, 0}},
        IntervalCase{{2020, 6, 1, 0, 0, 0}, 1, 0, {2020, 6, 1, 0, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(
    Quarters, AddIntervalTest,
    ::testing::Values(
        IntervalCase{{2020, 3, 15, 8, 0, 0}, 2, 3, {2020, 12, 15, 8, 0, 0}},
        IntervalCase{{2020, 11, 30, 0, 0, 0}, 2, 1, {2021, 2, 28, 0, 0, 0}},
        IntervalCase{{2020, 1, 15, 0, 0, 0}, 2, -1, {2019, 10, 15, 0, 0, 0}},
        IntervalCase{{2020, 5, 31, 0, 0, 0}, 2, -1, {2020, 2, 29, 0, 0, 0}},
        IntervalCase{{2020, 1, 15, 0, 0, 0}, 2, 8, {2022, 1, 15, 0, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(
    Months, AddIntervalTest,
    ::testing::Values(
        IntervalCase{{2020, 1, 31, 0, 0, 0}, 3, 1, {2020, 2, 29, 0, 0, 0}},
        IntervalCase{{2021, 1, 31, 0, 0, 0}, 3, 1, {2021, 2, 28, 0, 0, 0}},
        IntervalCase{{2020, 3, 31, 0, 0, 0}, 3, 1, {2020, 4, 30, 0, 0, 0}},
        IntervalCase{{2020, 12, 15, 6, 7, 8}, 3, 12, {2021, 12, 15, 6, 7, 8}},
        IntervalCase{{2020, 12, 15, 0, 0, 0}, 3, 1, {2021, 1, 15, 0, 0, 0}},
        IntervalCase{{2020, 11, 15, 0, 0, 0}, 3, 1, {2020, 12, 15, 0, 0, 0}},
        IntervalCase{{2020, 1, 15, 0, 0, 0}, 3, -1, {2019, 12, 15, 0, 0, 0}},
        IntervalCase{{2020, 3, 31, 0, 0, 0}, 3, -1, {2020, 2, 29, 0, 0, 0}},
        IntervalCase{{2020, 12, 10, 0, 0, 0}, 3, -12, {2019, 12, 10, 0, 0, 0}},
        IntervalCase{{2020, 1, 15, 0, 0, 0}, 3, -13, {2018, 12, 15, 0, 0, 0}},
        IntervalCase{{2020, 1, 15, 0, 0, 0}, 3, -24, {2018, 1, 15, 0, 0, 0}},
        IntervalCase{{2020, 1, 15, 0, 0, 0}, 3, 25, {2022, 2, 15, 0, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(
    WeeksAndDays, AddIntervalTest,
    ::testing::Values(
        IntervalCase{{2020, 12, 28, 9, 30, 0}, 4, 1, {2021, 1, 4, 9, 30, 0}},
        IntervalCase{{2021, 1, 4, 9, 30, 0}, 4, -2, {2020, 12, 21, 9, 30, 0}},
        IntervalCase{{2020, 2, 28, 23, 59, 59}, 5, 1, {2020, 2, 29, 23, 59, 59}},
        IntervalCase{{2021, 2, 28, 0, 0, 1}, 5, 1, {2021, 3, 1, 0, 0, 1}},
        IntervalCase{{2021, 1, 1, 12, 0, 0}, 5, -1, {2020, 12, 31, 12, 0, 0}},
        IntervalCase{{2020, 12, 7, 12, 0, 0}, 5, 36524, {2120, 12, 7, 12, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(
    HoursMinutesSeconds, AddIntervalTest,
    ::testing::Values(
        IntervalCase{{2020, 12, 7, 3, 4, 5}, 6, 8, {2020, 12, 7, 11, 4, 5}},
        IntervalCase{{2020, 12, 7, 16, 0, 0}, 6, 8, {2020, 12, 8, 0, 0, 0}},
        IntervalCase{{2020, 12, 31, 23, 59, 59}, 6, 8, {2021, 1, 1, 7, 59, 59}},
        IntervalCase{{2021, 1, 1, 3, 0, 0}, 6, -8, {2020, 12, 31, 19, 0, 0}},
        IntervalCase{{2020, 12, 7, 0, 0, 0}, 6, 48, {2020, 12, 9, 0, 0, 0}},
        IntervalCase{{2020, 12, 7, 23, 30, 0}, 7, 90, {2020, 12, 8, 1, 0, 0}},
        IntervalCase{{2020, 12, 7, 0, 0, 0}, 7, -1, {2020, 12, 6, 23, 59, 0}},
        IntervalCase{{2020, 12, 31, 23, 59, 59}, 8, 1, {2021, 1, 1, 0, 0, 0}},
        IntervalCase{{2020, 12, 7, 12, 0, 0}, 8, -86400, {2020, 12, 6, 12, 0, 0}},
        IntervalCase{{2020, 12, 7, 12, 0, 0}, 8, 3661, {2020, 12, 7, 13, 1, 1}}));

// Days before 1899-12-30 keep their time of day when the date moves, also
// across the base day.
INSTANTIATE_TEST_SUITE_P(
    BeforeTheBase, AddIntervalTest,
    ::testing::Values(
        IntervalCase{{1899, 12, 29, 6, 0, 0}, 5, 1, {1899, 12, 30, 6, 0, 0}},
        IntervalCase{{1899, 12, 29, 6, 0, 0}, 5, 2, {1899, 12, 31, 6, 0, 0}},
        IntervalCase{{1899, 12, 31, 6, 0, 0}, 5, -3, {1899, 12, 28, 6, 0, 0}},
        IntervalCase{{1899, 12, 20, 18, 0, 0}, 4, 2, {1900, 1, 3, 18, 0, 0}},
        IntervalCase{{1899, 11, 30, 6, 0, 0}, 3, 1, {1899, 12, 30, 6, 0, 0}},
        IntervalCase{{1899, 12, 29, 6, 0, 0}, 1, 1, {1900, 12, 29, 6, 0, 0}},
        IntervalCase{{1900, 1, 31, 6, 0, 0}, 3, -2, {1899, 11, 30, 6, 0, 0}}));

TEST(AddInterval, OtherUnitsLeaveTheValueAlone) {
  const DateTime value = MakeDateTime(2020, 12, 7, 3, 4, 5);
  for (const std::int32_t unit : {0, 9, -1, 6000, std::numeric_limits<std::int32_t>::min()}) {
    EXPECT_EQ(AddInterval(value, unit, 8), value) << unit;
  }
}

TEST(AddInterval, HoursAreOneMultiplicationAndOneAddition) {
  const DateTime value = MakeDateTime(2020, 12, 7, 3, 4, 5);
  EXPECT_EQ(AddInterval(value, 6, 8), value + 8 * 0.041666666666666664);
  EXPECT_EQ(AddInterval(value, 7, -5), value + -5 * 0.0006944444444444445);
  EXPECT_EQ(AddInterval(value, 8, 7), value + 7 * 1.1574074074074073e-05);
}

TEST(AddInterval, CalendarUnitsRefuseYearsBeyondThirtyTwoBits) {
  const DateTime last = MakeDateTime(std::numeric_limits<std::int32_t>::max(), 6, 1);
  EXPECT_EQ(AddInterval(last, 1, 1), last);
  EXPECT_EQ(AddInterval(last, 3, 12), last);
  EXPECT_EQ(SplitDateTime(AddInterval(last, 1, -1)).year,
            std::numeric_limits<std::int32_t>::max() - 1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(AddInterval(nan, 3, 1)));
  EXPECT_TRUE(std::isnan(AddInterval(nan, 5, 1)));
}

// A failed time fetch gives the year 100 plus eight hours; whatever the
// arithmetic on that negative value, it stays far before 1601.
TEST(AddInterval, EightHoursAfterTheYear100StayInTheYear100) {
  const DateTime failed = AddInterval(MakeDateTime(0, 0, 0, 0, 0, 0), 6, 8);
  const DateFields fields = SplitDateTime(failed);
  EXPECT_EQ(fields.year, 100);
  EXPECT_LT(failed, MakeDateTime(1601, 1, 1));
}

}  // namespace
}  // namespace tavrel
