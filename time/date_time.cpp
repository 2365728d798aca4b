#include "time/date_time.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrel {
namespace {

// Parts of a day, each the nearest double.
constexpr double kSecondFactor = 1.0 / 86400;
constexpr double kMinuteFactor = 1.0 / 1440;
constexpr double kHourFactor = 1.0 / 24;

constexpr std::int64_t kSecondsPerDay = 86400;

// Day number of 1970-01-01 counted from 1899-12-30.
constexpr std::int64_t kUnixEpochDay = 25569;

// Values beyond this many days are far outside any 32-bit year; refusing them
// early keeps the integer conversions defined.
constexpr double kLargestDay = 1e15;

bool IsLeapYear(std::int64_t year) {
  return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

std::int32_t MonthLength(std::int64_t year, std::int32_t month) {
  static constexpr std::int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  month = std::clamp(month, 1, 12);
  return month == 2 && IsLeapYear(year) ? 29 : kLengths[month - 1];
}

// Days from 1970-01-01 to a Gregorian date, negative before it (proleptic
// calendar, any year): counts in 400-year eras of 146097 days, years starting
// in March so that the leap day falls at the end.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
  std::int64_t year;
  std::int32_t month, day;
};

// The inverse of DaysFromCivil.
CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const auto day = static_cast<std::int32_t>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  const auto month = static_cast<std::int32_t>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day number (days since 1899-12-30, signed) of a valid date.
std::int64_t DayNumber(std::int64_t year, std::int32_t month, std::int32_t day) {
  return DaysFromCivil(year, month, day) + kUnixEpochDay;
}

// A value from a day number and the seconds since midnight; before 1899-12-30
// the time of day counts away from zero.
DateTime Compose(std::int64_t dayNumber, std::int64_t secondsOfDay) {
  const double fraction = static_cast<double>(secondsOfDay) * kSecondFactor;
  if (dayNumber >= 0) return static_cast<double>(dayNumber) + fraction;
  return -(static_cast<double>(-dayNumber) + fraction);
}

bool FitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

// Day number and time of day of a value, the time rounded to the nearest
// second; a time that rounds up to midnight belongs to the next day. False for
// values that are not finite or too large to hold any 32-bit year.
bool SplitDay(DateTime value, std::int64_t& dayNumber, std::int64_t& secondsOfDay) {
  if (!std::isfinite(value) || std::fabs(value) >= kLargestDay) return false;
  const double integerPart = std::trunc(value);
  const double fraction = value - integerPart;
  dayNumber = static_cast<std::int64_t>(integerPart);
  secondsOfDay = static_cast<std::int64_t>(std::fabs(fraction) * 86400 + 0.5);
  if (secondsOfDay >= kSecondsPerDay) {
    secondsOfDay -= kSecondsPerDay;
    ++dayNumber;
  }
  return true;
}

// Calendar units: move the month by monthCount (years count as twelve months),
// hold the day to the new month and keep the time of day.
DateTime AddMonths(DateTime value, std::int64_t monthCount) {
  std::int64_t dayNumber = 0;
  std::int64_t secondsOfDay = 0;
  if (!SplitDay(value, dayNumber, secondsOfDay)) return value;
  const CivilDate date = CivilFromDays(dayNumber - kUnixEpochDay);
  const std::int64_t months = date.month - 1 + monthCount;
  // Floor division with a non-negative remainder, so going back crosses year ends.
  std::int64_t yearStep = months / 12;
  std::int64_t monthIndex = months % 12;
  if (monthIndex < 0) {
    monthIndex += 12;
    --yearStep;
  }
  const std::int64_t year = date.year + yearStep;
  if (!FitsInt32(date.year) || !FitsInt32(year)) return value;
  const auto month = static_cast<std::int32_t>(monthIndex + 1);
  const std::int32_t day = std::min(date.day, MonthLength(year, month));
  return Compose(DayNumber(year, month, day), secondsOfDay);
}

// Days and weeks: the day moves, the time of day stays as it is.
DateTime AddDays(DateTime value, double dayCount) {
  if (!std::isfinite(value)) return value;
  const double integerPart = std::trunc(value);
  const double timeOfDay = std::fabs(value - integerPart);
  const double day = integerPart + dayCount;
  return day >= 0 ? day + timeOfDay : day - timeOfDay;
}

}  // namespace

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) { return MonthLength(year, month); }

DateTime MakeDateTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                      std::int32_t minute, std::int32_t second) {
  year = std::max(year, 100);
  month = std::clamp(month, 1, 12);
  day = std::clamp(day, 1, DaysInMonth(year, month));
  hour = std::clamp(hour, 0, 23);
  minute = std::clamp(minute, 0, 59);
  second = std::clamp(second, 0, 59);
  return Compose(DayNumber(year, month, day), hour * 3600 + minute * 60 + second);
}

DateFields SplitDateTime(DateTime value) {
  std::int64_t dayNumber = 0;
  std::int64_t secondsOfDay = 0;
  if (!SplitDay(value, dayNumber, secondsOfDay)) return {};
  const CivilDate date = CivilFromDays(dayNumber - kUnixEpochDay);
  if (!FitsInt32(date.year)) return {};
  const auto seconds = static_cast<std::int32_t>(secondsOfDay);
  return {static_cast<std::int32_t>(date.year), date.month, date.day, seconds / 3600,
          seconds % 3600 / 60, seconds % 60};
}

std::int32_t HourOf(DateTime value) {
  if (!std::isfinite(value)) return 0;
  const double fraction = value - std::trunc(value);
  const auto seconds = static_cast<std::int64_t>(std::fabs(fraction) * 86400 + 0.5);
  return static_cast<std::int32_t>(seconds % kSecondsPerDay / 3600);
}

DateTime AddInterval(DateTime value, std::int32_t unit, std::int32_t count) {
  switch (unit) {
    case kIntervalYears:
      return AddMonths(value, std::int64_t{count} * 12);
    case kIntervalQuarters:
      return AddMonths(value, std::int64_t{count} * 3);
    case kIntervalMonths:
      return AddMonths(value, count);
    case kIntervalWeeks:
      return AddDays(value, 7.0 * count);
    case kIntervalDays:
      return AddDays(value, count);
    case kIntervalHours:
      return value + count * kHourFactor;
    case kIntervalMinutes:
      return value + count * kMinuteFactor;
    case kIntervalSeconds:
      return value + count * kSecondFactor;
    default:
      return value;
  }
}

}  // namespace tavrel
