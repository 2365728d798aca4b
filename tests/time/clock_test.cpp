// The local clock on every platform. Setting it is tested only where it is
// refused: these tests never change the machine's clock.

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

#include "tests/time/date_fields_print.h"
#include "time/date_time.h"

namespace tavrel {
namespace {

TEST(Now, TwoReadingsWithinOneSecondAreEqual) {
  // Only a pair read inside one second of the system clock must agree; retry
  // until a pair does not straddle a second boundary.
  bool compared = false;
  for (int attempt = 0; attempt < 50 && !compared; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const DateTime first = Now();
    const DateTime second = Now();
    const std::time_t after = std::time(nullptr);
    if (before != after) continue;
    EXPECT_EQ(first, second);
    compared = true;
  }
  ASSERT_TRUE(compared);
}

TEST(Now, IsTheLocalTimeInWholeSeconds) {
  const std::time_t before = std::time(nullptr);
  const DateTime now = Now();
  const std::time_t after = std::time(nullptr);

  // Whole seconds: splitting and composing again gives the same value.
  const DateFields fields = SplitDateTime(now);
  EXPECT_EQ(MakeDateTime(fields.year, fields.month, fields.day, fields.hour, fields.minute,
                         fields.second),
            now);

  // The C library's local time around the reading brackets it.
  auto local = [](std::time_t t) {
    const std::tm tm = *std::localtime(&t);
    return MakeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec);
  };
  const double second = 1.0 / 86400;
  EXPECT_GE(now, local(before) - second / 2) << ::testing::PrintToString(fields);
  EXPECT_LE(now, local(after) + second / 2) << ::testing::PrintToString(fields);
  EXPECT_GE(fields.year, 2020);
}

// The value a failed time fetch hands to SetClock, and the other values the
// platform cannot be set to.
TEST(SetClock, RefusesDatesOutsideTheClockRange) {
  const std::vector<DateTime> refused = {
      AddInterval(MakeDateTime(0, 0, 0, 0, 0, 0), 6, 8),
      MakeDateTime(0, 0, 0, 0, 0, 0),
      MakeDateTime(100, 12, 31, 23, 59, 59),
      MakeDateTime(1600, 12, 31, 23, 59, 59),
      MakeDateTime(30828, 1, 1),
      MakeDateTime(67137, 1, 1),  // 1601 in the 16 bits of the platform's record
      std::numeric_limits<double>::quiet_NaN(),
      std::numeric_limits<double>::infinity(),
      -1e300,
  };
  for (const DateTime value : refused) {
    EXPECT_FALSE(SetClock(value)) << ::testing::PrintToString(SplitDateTime(value));
  }
}

}  // namespace
}  // namespace tavrel
