// The local clock on Windows: GetLocalTime and SetLocalTime.

#include <windows.h>

#include "time/date_time.h"

namespace tavrel {

DateTime Now() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return MakeDateTime(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                      local.wSecond);
}

bool SetClock(DateTime value) {
  const DateFields fields = SplitDateTime(value);
  // The record's fields are 16 bits wide: a year outside the platform's range
  // would wrap into a valid one, so it is refused before it gets there.
  if (fields.year < kFirstClockYear || fields.year > kLastClockYear) return false;

  SYSTEMTIME local{};  // day of week and milliseconds stay 0
  local.wYear = static_cast<WORD>(fields.year);
  local.wMonth = static_cast<WORD>(fields.month);
  local.wDay = static_cast<WORD>(fields.day);
  local.wHour = static_cast<WORD>(fields.hour);
  local.wMinute = static_cast<WORD>(fields.minute);
  local.wSecond = static_cast<WORD>(fields.second);
  return SetLocalTime(&local) != FALSE;
}

}  // namespace tavrel
