#pragma once

// Points in time as days since 1899-12-30 00:00:00, the calendar arithmetic on
// them, and the local clock. No operation here knows time zones: every value is
// a wall-clock time.

#include <cstdint>

namespace tavrel {

// Days since 1899-12-30 00:00:00; the fraction is the time of day. A day before
// 1899-12-30 is negative and its time of day is the magnitude of the fraction,
// so 1899-12-29 06:00:00 is -1.25. Gregorian calendar for every year.
using DateTime = double;

// Calendar fields of a DateTime; month and day count from 1.
struct DateFields {
  std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

  friend bool operator==(const DateFields&, const DateFields&) = default;
};

// Units of AddInterval.
inline constexpr std::int32_t kIntervalYears = 1;
inline constexpr std::int32_t kIntervalQuarters = 2;
inline constexpr std::int32_t kIntervalMonths = 3;
inline constexpr std::int32_t kIntervalWeeks = 4;
inline constexpr std::int32_t kIntervalDays = 5;
inline constexpr std::int32_t kIntervalHours = 6;
inline constexpr std::int32_t kIntervalMinutes = 7;
inline constexpr std::int32_t kIntervalSeconds = 8;

// The years the platform's clock record can be set to; SetClock refuses the rest.
inline constexpr std::int32_t kFirstClockYear = 1601;
inline constexpr std::int32_t kLastClockYear = 30827;

// Never fails: year below 100 becomes 100, month and day are held to 1..12 and
// 1..DaysInMonth, hour, minute and second to 0..23, 0..59, 0..59.
DateTime MakeDateTime(std::int32_t year, std::int32_t month = 0, std::int32_t day = 0,
                      std::int32_t hour = 0, std::int32_t minute = 0, std::int32_t second = 0);

// Adds count units (kInterval...; any other unit returns value unchanged).
// Hours, minutes and seconds add count times the unit's part of a day. Days and
// weeks move the date and keep the time of day. Years, quarters and months move
// the calendar month and hold the day to the new month's length; they return a
// value unchanged that cannot be split or whose new year does not fit 32 bits.
DateTime AddInterval(DateTime value, std::int32_t unit, std::int32_t count);

// 28 to 31; a month outside 1..12 is held into that range.
std::int32_t DaysInMonth(std::int32_t year, std::int32_t month);

// The hour of the time of day, 0 to 23; the date plays no role.
std::int32_t HourOf(DateTime value);

// The calendar fields of value, the time of day rounded to the nearest second.
// A time within half a second of midnight carries into the next calendar day
// (before 1899-12-30 as well: day -1 at 24:00 is 1899-12-30 00:00), so the
// hour is never 24. A value that is not finite or whose year does not fit 32
// bits gives all fields 0.
DateFields SplitDateTime(DateTime value);

// The local clock, in whole seconds.
DateTime Now();

// Sets the local clock to value (taken in the machine's current zone). False,
// and the clock untouched, when the platform refuses it: a year outside
// kFirstClockYear..kLastClockYear, or no right to change the system time.
bool SetClock(DateTime value);

}  // namespace tavrel
