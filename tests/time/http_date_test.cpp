#include "time/http_date.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/time/date_fields_print.h"
#include "time/date_time.h"

namespace tavrel {
namespace {

using namespace std::string_literals;

struct ReadCase {
  std::string text;
  DateFields expected;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class HttpDateReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(HttpDateReads, GivesTheFieldsAsWritten) {
  const ReadCase& c = GetParam();
  DateFields fields{1, 1, 1, 1, 1, 1};
  EXPECT_TRUE(ParseHttpDate(c.text, fields));
  EXPECT_EQ(fields, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ThreeForms, HttpDateReads,
    ::testing::Values(
        ReadCase{"Sun, 06 Nov 1994 08:49:37 GMT", {1994, 11, 6, 8, 49, 37}},
        ReadCase{"Sunday, 06-Nov-94 08:49:37 GMT", {1994, 11, 6, 8, 49, 37}},
        ReadCase{"Sun Nov  6 08:49:37 1994", {1994, 11, 6, 8, 49, 37}},
        ReadCase{"Sun Nov 06 08:49:37 1994", {1994, 11, 6, 8, 49, 37}},
        ReadCase{"Thu Dec 31 23:59:59 2020", {2020, 12, 31, 23, 59, 59}}));

// The value cut out of a header block starts with the blank after "Date:".
INSTANTIATE_TEST_SUITE_P(
    Blanks, HttpDateReads,
    ::testing::Values(
        ReadCase{" Mon, 07 Dec 2020 03:04:05 GMT", {2020, 12, 7, 3, 4, 5}},
        ReadCase{"Mon, 07 Dec 2020 03:04:05 GMT ", {2020, 12, 7, 3, 4, 5}},
        ReadCase{" Mon, 07 Dec 2020 03:04:05 GMT ", {2020, 12, 7, 3, 4, 5}},
        ReadCase{"\tMon, 07 Dec 2020 03:04:05 GMT\t", {2020, 12, 7, 3, 4, 5}},
        ReadCase{" Monday, 07-Dec-20 03:04:05 GMT ", {2020, 12, 7, 3, 4, 5}},
        ReadCase{" Mon Dec  7 03:04:05 2020 ", {2020, 12, 7, 3, 4, 5}}));

// Two-digit years: the latest year with those digits not more than 50 years
// after the reference year 2026, so 00-76 are 2000-2076 and 77-99 are 1977-1999.
INSTANTIATE_TEST_SUITE_P(
    TwoDigitYears, HttpDateReads,
    ::testing::Values(
        ReadCase{"Saturday, 01-Jan-00 00:00:00 GMT", {2000, 1, 1, 0, 0, 0}},
        ReadCase{"Monday, 07-Dec-20 03:04:05 GMT", {2020, 12, 7, 3, 4, 5}},
        ReadCase{"Thursday, 31-Dec-76 12:00:00 GMT", {2076, 12, 31, 12, 0, 0}},
        ReadCase{"Saturday, 31-Dec-77 12:00:00 GMT", {1977, 12, 31, 12, 0, 0}}));

// The ends of every range, and a leap second, which may only end a day.
INSTANTIATE_TEST_SUITE_P(
    RangeEnds, HttpDateReads,
    ::testing::Values(
        ReadCase{"Mon, 01 Jan 1601 00:00:00 GMT", {1601, 1, 1, 0, 0, 0}},
        ReadCase{"Fri, 31 Dec 9999 23:59:59 GMT", {9999, 12, 31, 23, 59, 59}},
        ReadCase{"Thu, 29 Feb 2024 12:00:00 GMT", {2024, 2, 29, 12, 0, 0}},
        ReadCase{"Sat, 29 Feb 2020 00:00:00 GMT", {2020, 2, 29, 0, 0, 0}},
        ReadCase{"Sat, 31 Dec 2016 23:59:60 GMT", {2016, 12, 31, 23, 59, 60}},
        ReadCase{"Sat Dec 31 23:59:60 2016", {2016, 12, 31, 23, 59, 60}}));

// Every month name, on the first of each month of 2021.
INSTANTIATE_TEST_SUITE_P(
    MonthNames, HttpDateReads,
    ::testing::Values(ReadCase{"Fri, 01 Jan 2021 10:00:00 GMT", {2021, 1, 1, 10, 0, 0}},
                      ReadCase{"Mon, 01 Feb 2021 10:00:00 GMT", {2021, 2, 1, 10, 0, 0}},
                      ReadCase{"Mon, 01 Mar 2021 10:00:00 GMT", {2021, 3, 1, 10, 0, 0}},
                      ReadCase{"Thu, 01 Apr 2021 10:00:00 GMT", {2021, 4, 1, 10, 0, 0}},
                      ReadCase{"Sat, 01 May 2021 10:00:00 GMT", {2021, 5, 1, 10, 0, 0}},
                      ReadCase{"Tue, 01 Jun 2021 10:00:00 GMT", {2021, 6, 1, 10, 0, 0}},
                      ReadCase{"Thu, 01 Jul 2021 10:00:00 GMT", {2021, 7, 1, 10, 0, 0}},
                      ReadCase{"Sun, 01 Aug 2021 10:00:00 GMT", {2021, 8, 1, 10, 0, 0}},
                      ReadCase{"Wed, 01 Sep 2021 10:00:00 GMT", {2021, 9, 1, 10, 0, 0}},
                      ReadCase{"Fri, 01 Oct 2021 10:00:00 GMT", {2021, 10, 1, 10, 0, 0}},
                      ReadCase{"Mon, 01 Nov 2021 10:00:00 GMT", {2021, 11, 1, 10, 0, 0}},
                      ReadCase{"Wed, 01 Dec 2021 10:00:00 GMT", {2021, 12, 1, 10, 0, 0}}));

// Every weekday name in all three forms, over the week of 14 December 2020.
TEST(HttpDate, ReadsEveryWeekdayNameInEveryForm) {
  const char* shortNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  const char* longNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                             "Friday", "Saturday", "Sunday"};
  for (int i = 0; i < 7; ++i) {
    const int day = 14 + i;
    const DateFields expected{2020, 12, day, 1, 2, 3};
    const std::string dd = std::to_string(day);
    for (const std::string& text :
         {std::string(shortNames[i]) + ", " + dd + " Dec 2020 01:02:03 GMT",
          std::string(longNames[i]) + ", " + dd + "-Dec-20 01:02:03 GMT",
          std::string(shortNames[i]) + " Dec " + dd + " 01:02:03 2020"}) {
      DateFields fields;
      EXPECT_TRUE(ParseHttpDate(text, fields)) << text;
      EXPECT_EQ(fields, expected) << text;
    }
  }
}

class HttpDateRefuses : public ::testing::TestWithParam<std::string> {};

// Anything but one complete date leaves every field 0, and the value built
// from it is 0100-01-01 00:00:00.
TEST_P(HttpDateRefuses, LeavesEveryFieldZero) {
  DateFields fields{2020, 12, 7, 3, 4, 5};
  EXPECT_FALSE(ParseHttpDate(GetParam(), fields));
  EXPECT_EQ(fields, DateFields{});
  EXPECT_EQ(HttpDateToDateTime(GetParam()), -657434.0);
}

INSTANTIATE_TEST_SUITE_P(
    EmptyAndPartial, HttpDateRefuses,
    ::testing::Values("", " ", "  ", " 1", "Mon", "Mon,", " Mon, 07 Dec 2020",
                      " Mon, 07 Dec 2020 03:04", " Mon, 07 Dec 2020 03:04:05",
                      " Mon, 07 Dec 2020 03:04:0", " Mon, 07 De", "Monday, 07-Dec-20 03:04:05",
                      "Mon Dec  7 03:04:05", "Mon Dec  7 03:04:05 "));

INSTANTIATE_TEST_SUITE_P(
    LeftOvers, HttpDateRefuses,
    ::testing::Values(" Mon, 07 Dec 2020 03:04:05 GMT garbage",
                      " Mon, 07 Dec 2020 03:04:05 GMTX", " Mon, 07 Dec 2020 03:04:05 GMT\r\n",
                      "  Mon, 07 Dec 2020 03:04:05 GMT", " Mon, 07 Dec 2020 03:04:05 GMT  ",
                      " Mon, 07 Dec 2020 03:04:05 GMT\0x"s, " Mon, 07 Dec 2020 03:04:05 GMT\0"s,
                      "\0 Mon, 07 Dec 2020 03:04:05 GMT"s, " Mon Dec  7 03:04:05 2020 GMT",
                      " Mon Dec  7 03:04:05 20201",
                      "\xA1\xA1Mon, 07 Dec 2020 03:04:05 GMT",  // full-width space
                      " Mon, 07 Dec 2020 03:04:05 GMT\xA3\xAE"));

// Names are matched in the letter case of the HTTP grammar, and each form
// takes only its own kind of weekday name.
INSTANTIATE_TEST_SUITE_P(
    Names, HttpDateRefuses,
    ::testing::Values(" mon, 07 Dec 2020 03:04:05 GMT", " MON, 07 DEC 2020 03:04:05 GMT",
                      " Mon, 07 dec 2020 03:04:05 GMT", " Mon, 07 Dec 2020 03:04:05 gmt",
                      " Mon, 07 Dec 2020 03:04:05 UTC", " Mon, 07 Dec 2020 03:04:05 +0000",
                      " Mon, 07 Dec 2020 03:04:05", " monday, 07-Dec-20 03:04:05 GMT",
                      " Mox, 07 Dec 2020 03:04:05 GMT", " Mon, 07 Dex 2020 03:04:05 GMT",
                      " Mond, 07 Dec 2020 03:04:05 GMT", " Monday, 07 Dec 2020 03:04:05 GMT",
                      " Mon, 07-Dec-20 03:04:05 GMT", " Monday Dec  7 03:04:05 2020",
                      " Mon, 07 December 2020 03:04:05 GMT", " Mon, 07 12 2020 03:04:05 GMT"));

// A weekday that is not the date's own.
INSTANTIATE_TEST_SUITE_P(
    WrongWeekday, HttpDateRefuses,
    ::testing::Values(" Tue, 07 Dec 2020 03:04:05 GMT", " Sun, 07 Dec 2020 03:04:05 GMT",
                      "Monday, 06-Nov-94 08:49:37 GMT", "Mon Nov  6 08:49:37 1994",
                      "Thursday, 31-Dec-77 12:00:00 GMT"));

// Digits and separators exactly as each form writes them.
INSTANTIATE_TEST_SUITE_P(
    Shape, HttpDateRefuses,
    ::testing::Values(" Mon, 7 Dec 2020 03:04:05 GMT", " Mon, 007 Dec 2020 03:04:05 GMT",
                      " Mon, 07 Dec 20 03:04:05 GMT", " Mon, 07 Dec 02020 03:04:05 GMT",
                      " Mon, 07 Dec 2020 3:04:05 GMT", " Mon, 07 Dec 2020 03:4:05 GMT",
                      " Mon, 07 Dec 2020 03:04:5 GMT", " Mon, 07 Dec 2020 03:04 :05 GMT",
                      " Mon, 07 Dec 2020 03.04.05 GMT", " Mon 07 Dec 2020 03:04:05 GMT",
                      " Mon,07 Dec 2020 03:04:05 GMT", " Mon,  07 Dec 2020 03:04:05 GMT",
                      " Mon, 07-Dec-2020 03:04:05 GMT", " Mon, 07 Dec 2020  03:04:05 GMT",
                      " Mon, 07 Dec 2020 03:04:05  GMT", " Mon, +7 Dec 2020 03:04:05 GMT",
                      " Mon, 07 Dec 2020 03:04:05 GMT,", " Monday, 07-Dec-2020 03:04:05 GMT",
                      " Monday, 07 Dec 20 03:04:05 GMT", " Monday, 7-Dec-20 03:04:05 GMT",
                      " Mon Dec 7 03:04:05 2020", " Mon Dec  07 03:04:05 2020",
                      " Mon Dec 07 03:04:05 20", " Mon Dec 07 03:04:05 GMT 2020",
                      " Mon  Dec 07 03:04:05 2020", " Mon, Dec 07 03:04:05 2020"));

// Every field is range checked; the weekdays here are right for the date, so
// only the range refuses them.
INSTANTIATE_TEST_SUITE_P(
    OutOfRange, HttpDateRefuses,
    ::testing::Values(" Mon, 00 Dec 2020 03:04:05 GMT", " Fri, 32 Dec 2020 03:04:05 GMT",
                      " Mon, 29 Feb 2021 03:04:05 GMT", " Sat, 31 Apr 2021 03:04:05 GMT",
                      " Thu, 29 Feb 1900 03:04:05 GMT", " Mon, 07 Dec 2020 24:00:00 GMT",
                      " Mon, 07 Dec 2020 99:04:05 GMT", " Mon, 07 Dec 2020 03:60:05 GMT",
                      " Mon, 07 Dec 2020 03:04:61 GMT", " Mon, 07 Dec 2020 03:04:60 GMT",
                      " Mon, 07 Dec 2020 23:58:60 GMT", " Sun, 31 Dec 1600 23:59:59 GMT",
                      " Sat, 01 Jan 0000 00:00:00 GMT", " Mon, 01 Jan 0100 00:00:00 GMT",
                      " Mon Dec  0 03:04:05 2020", " Mon Dec 32 03:04:05 2020",
                      " Mon Dec  7 24:04:05 2020", " Monday, 07-Dec-20 03:04:60 GMT"));

// The Date value of a header block plus the eight hours of Beijing time.
TEST(HttpDateToDateTime, GivesBeijingTimeAfterEightHours) {
  struct Case {
    const char* text;
    DateFields expected;
  };
  const std::vector<Case> cases = {
      {" Mon, 07 Dec 2020 03:04:05 GMT", {2020, 12, 7, 11, 4, 5}},
      {" Mon, 07 Dec 2020 16:00:00 GMT", {2020, 12, 8, 0, 0, 0}},
      {" Thu, 31 Dec 2020 23:59:59 GMT", {2021, 1, 1, 7, 59, 59}},
      {" Sun, 28 Feb 2021 20:30:00 GMT", {2021, 3, 1, 4, 30, 0}},
      {" Sat, 29 Feb 2020 20:30:00 GMT", {2020, 3, 1, 4, 30, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitDateTime(AddInterval(HttpDateToDateTime(c.text), 6, 8)), c.expected)
        << c.text;
  }
}

TEST(HttpDateToDateTime, BuildsTheValueOfTheFields) {
  EXPECT_EQ(HttpDateToDateTime(" Mon, 07 Dec 2020 12:00:00 GMT"), 44172.5);
  EXPECT_EQ(HttpDateToDateTime("Sunday, 06-Nov-94 08:49:37 GMT"),
            MakeDateTime(1994, 11, 6, 8, 49, 37));
  // A leap second is held at the last second of the day.
  EXPECT_EQ(HttpDateToDateTime("Sat, 31 Dec 2016 23:59:60 GMT"),
            MakeDateTime(2016, 12, 31, 23, 59, 59));
}

// An unreadable Date still goes through the eight hours and must end before
// the first year the clock can be set to.
TEST(HttpDateToDateTime, UnreadableTextStaysOutOfTheClockRange) {
  for (const char* text : {"", " 1", " Mon, 07 Dec 2020 03:04:05 UTC"}) {
    const DateTime beijing = AddInterval(HttpDateToDateTime(text), 6, 8);
    EXPECT_EQ(SplitDateTime(beijing).year, 100) << text;
    EXPECT_FALSE(SetClock(beijing)) << text;
  }
}

}  // namespace
}  // namespace tavrel
