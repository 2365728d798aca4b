#pragma once

// A strict reader of HTTP dates (the value of a Date header). It accepts the
// three forms an HTTP/1.1 recipient must accept, always in GMT:
//   preferred   Sun, 06 Nov 1994 08:49:37 GMT
//   obsolete    Sunday, 06-Nov-94 08:49:37 GMT
//   asctime     Sun Nov  6 08:49:37 1994
// with exactly the digits, separators and names the forms give. Names are
// English and matched in their own letter case, as the HTTP grammar has them.
// One blank (space or tab) may precede the date and one may follow it: a Date
// value cut out of a header block starts with the blank after the colon.
//
// Every field is range checked: the year 1601 to 9999 (the years the clock can
// be set to), the day within its month, hour 0-23, minute 0-59, second 0-59, or
// 60 at 23:59 for a leap second. The weekday must be the weekday of the date,
// since a contradictory value is no safe source for the clock.
//
// The obsolete form's two-digit year is read as the most recent year with
// those digits that is not more than 50 years after kTwoDigitYearReference,
// the rule HTTP gives relative to the present, fixed here so that a date reads
// the same whatever the local clock (which may be the very thing that is wrong).

#include <cstdint>
#include <string_view>

#include "time/date_time.h"

namespace tavrel {

inline constexpr std::int32_t kTwoDigitYearReference = 2026;

// True with the fields as written (no zone conversion) when the whole text is
// one HTTP date; false with every field 0 otherwise.
bool ParseHttpDate(std::string_view text, DateFields& fields);

// MakeDateTime of the fields ParseHttpDate gives. An unreadable text gives
// 0100-01-01 00:00:00, which SetClock refuses even after the eight hours the
// time source adds. A leap second is held at 59.
DateTime HttpDateToDateTime(std::string_view text);

}  // namespace tavrel
