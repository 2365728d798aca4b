// The local clock on Linux: the calendar fields of the local time, read with
// localtime_r and written with mktime and clock_settime.

#include <ctime>

#include "time/date_time.h"

namespace tavrel {

DateTime Now() {
  timespec now{};
  std::tm local{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0 || localtime_r(&now.tv_sec, &local) == nullptr) {
    return 0.0;
  }
  // A leap second (tm_sec 60) is held at 59 like any other field out of range.
  return MakeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
}

bool SetClock(DateTime value) {
  const DateFields fields = SplitDateTime(value);
  // The Windows clock record refuses these years; refuse them here as well.
  if (fields.year < kFirstClockYear || fields.year > kLastClockYear) return false;

  std::tm local{};
  local.tm_year = fields.year - 1900;
  local.tm_mon = fields.month - 1;
  local.tm_mday = fields.day;
  local.tm_hour = fields.hour;
  local.tm_min = fields.minute;
  local.tm_sec = fields.second;
  local.tm_isdst = -1;  // let the zone rules say whether summer time applies
  // mktime leaves the fields alone when it fails, and -1 is also a valid time:
  // a weekday it did not fill in tells the two apart.
  local.tm_wday = -1;
  const std::time_t seconds = mktime(&local);
  if (seconds == static_cast<std::time_t>(-1) && local.tm_wday == -1) return false;

  const timespec target{seconds, 0};
  return clock_settime(CLOCK_REALTIME, &target) == 0;
}

}  // namespace tavrel
