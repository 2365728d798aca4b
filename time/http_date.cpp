#include "time/http_date.h"

#include <array>
#include <cmath>
#include <optional>

namespace tavrel {
namespace {

constexpr std::array<std::string_view, 7> kShortDays = {"Mon", "Tue", "Wed", "Thu",
                                                        "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> kLongDays = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr std::int32_t kFirstYear = 1601;
constexpr std::int32_t kLastYear = 9999;

// Reads the text from left to right; each step either consumes what it
// expects or fails and leaves the position where it was.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return position_ == text_.size(); }

  bool Literal(std::string_view expected) {
    if (text_.substr(position_, expected.size()) != expected) return false;
    position_ += expected.size();
    return true;
  }

  // Exactly count decimal digits.
  std::optional<std::int32_t> Digits(std::size_t count) {
    if (text_.size() - position_ < count) return std::nullopt;
    std::int32_t number = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char c = text_[position_ + i];
      if (c < '0' || c > '9') return std::nullopt;
      number = number * 10 + (c - '0');
    }
    position_ += count;
    return number;
  }

  // The index of the name from the list that stands here, in its exact case.
  template <std::size_t N>
  std::optional<std::int32_t> Name(const std::array<std::string_view, N>& names) {
    for (std::size_t i = 0; i < N; ++i) {
      if (Literal(names[i])) return static_cast<std::int32_t>(i);
    }
    return std::nullopt;
  }

  // One optional space or tab.
  void OptionalBlank() {
    if (!AtEnd() && (text_[position_] == ' ' || text_[position_] == '\t')) ++position_;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

// What the forms read, before the checks that hold for all of them.
struct RawDate {
  std::int32_t weekday = 0;  // 0 is Monday
  std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool ReadTimeOfDay(Reader& reader, RawDate& date) {
  const auto hour = reader.Digits(2);
  if (!hour || !reader.Literal(":")) return false;
  const auto minute = reader.Digits(2);
  if (!minute || !reader.Literal(":")) return false;
  const auto second = reader.Digits(2);
  if (!second) return false;
  date.hour = *hour;
  date.minute = *minute;
  date.second = *second;
  return true;
}

// Sun, 06 Nov 1994 08:49:37 GMT
bool ReadPreferred(Reader& reader, RawDate& date) {
  const auto weekday = reader.Name(kShortDays);
  if (!weekday || !reader.Literal(", ")) return false;
  const auto day = reader.Digits(2);
  if (!day || !reader.Literal(" ")) return false;
  const auto month = reader.Name(kMonths);
  if (!month || !reader.Literal(" ")) return false;
  const auto year = reader.Digits(4);
  if (!year || !reader.Literal(" ")) return false;
  if (!ReadTimeOfDay(reader, date) || !reader.Literal(" GMT")) return false;
  date.weekday = *weekday;
  date.day = *day;
  date.month = *month + 1;
  date.year = *year;
  return true;
}

// The most recent year ending in these two digits that is not more than 50
// years after the reference year.
std::int32_t FullYear(std::int32_t twoDigits) {
  const std::int32_t limit = kTwoDigitYearReference + 50;
  std::int32_t year = limit - limit % 100 + twoDigits;
  if (year > limit) year -= 100;
  return year;
}

// Sunday, 06-Nov-94 08:49:37 GMT
bool ReadObsolete(Reader& reader, RawDate& date) {
  const auto weekday = reader.Name(kLongDays);
  if (!weekday || !reader.Literal(", ")) return false;
  const auto day = reader.Digits(2);
  if (!day || !reader.Literal("-")) return false;
  const auto month = reader.Name(kMonths);
  if (!month || !reader.Literal("-")) return false;
  const auto year = reader.Digits(2);
  if (!year || !reader.Literal(" ")) return false;
  if (!ReadTimeOfDay(reader, date) || !reader.Literal(" GMT")) return false;
  date.weekday = *weekday;
  date.day = *day;
  date.month = *month + 1;
  date.year = FullYear(*year);
  return true;
}

// Sun Nov  6 08:49:37 1994 (the day either two digits or a blank and one digit)
bool ReadAsctime(Reader& reader, RawDate& date) {
  const auto weekday = reader.Name(kShortDays);
  if (!weekday || !reader.Literal(" ")) return false;
  const auto month = reader.Name(kMonths);
  if (!month || !reader.Literal(" ")) return false;
  auto day = reader.Digits(2);
  if (!day) {
    if (!reader.Literal(" ")) return false;
    day = reader.Digits(1);
    if (!day) return false;
  }
  if (!reader.Literal(" ") || !ReadTimeOfDay(reader, date) || !reader.Literal(" ")) return false;
  const auto year = reader.Digits(4);
  if (!year) return false;
  date.weekday = *weekday;
  date.day = *day;
  date.month = *month + 1;
  date.year = *year;
  return true;
}

// Monday is 0; 1899-12-30, day 0, was a Saturday.
std::int32_t WeekdayOf(std::int32_t year, std::int32_t month, std::int32_t day) {
  const auto dayNumber = static_cast<std::int64_t>(std::trunc(MakeDateTime(year, month, day)));
  return static_cast<std::int32_t>(((dayNumber % 7) + 7 + 5) % 7);
}

bool InRange(const RawDate& date) {
  if (date.year < kFirstYear || date.year > kLastYear) return false;
  if (date.month < 1 || date.month > 12) return false;
  if (date.day < 1 || date.day > DaysInMonth(date.year, date.month)) return false;
  if (date.hour > 23 || date.minute > 59) return false;
  // A leap second is inserted only as the last second of a day.
  if (date.second > 60 || (date.second == 60 && (date.hour != 23 || date.minute != 59))) {
    return false;
  }
  return WeekdayOf(date.year, date.month, date.day) == date.weekday;
}

// The whole text as one form: an optional blank, the date, an optional blank.
template <typename ReadForm>
bool ReadWhole(std::string_view text, ReadForm readForm, RawDate& date) {
  Reader reader(text);
  reader.OptionalBlank();
  if (!readForm(reader, date)) return false;
  reader.OptionalBlank();
  return reader.AtEnd();
}

}  // namespace

bool ParseHttpDate(std::string_view text, DateFields& fields) {
  fields = {};
  RawDate date;
  const bool read = ReadWhole(text, ReadPreferred, date) || ReadWhole(text, ReadObsolete, date) ||
                    ReadWhole(text, ReadAsctime, date);
  if (!read || !InRange(date)) return false;
  fields = {date.year, date.month, date.day, date.hour, date.minute, date.second};
  return true;
}

DateTime HttpDateToDateTime(std::string_view text) {
  DateFields fields;
  ParseHttpDate(text, fields);
  return MakeDateTime(fields.year, fields.month, fields.day, fields.hour, fields.minute,
                      fields.second);
}

}  // namespace tavrel
