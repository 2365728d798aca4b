// SetClock on Linux through a recorder. This file defines clock_settime: the
// clock code linked into the test executable calls this definition, never the
// system's. In addition the process gives up the right to set the time before
// any test runs, so even a call that slipped past the recorder would be refused.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "tests/time/date_fields_print.h"
#include "time/date_time.h"
#include "time/http_date.h"

namespace {

struct ClockCall {
  clockid_t clock;
  timespec target;
};

std::vector<ClockCall> gClockCalls;
int gClockResult = 0;  // what the recorder answers; -1 sets errno to EPERM

bool ReadCapabilities(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capget, &header, data) == 0;
}

// Drops CAP_SYS_TIME from every set of this process; dropping needs no right.
const bool gTimeRightDropped = [] {
  __user_cap_data_struct data[2]{};
  if (!ReadCapabilities(data)) return false;
  const unsigned bit = 1u << CAP_SYS_TIME;  // below 32: the first word
  data[0].effective &= ~bit;
  data[0].permitted &= ~bit;
  data[0].inheritable &= ~bit;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capset, &header, data) == 0;
}();

}  // namespace

extern "C" int clock_settime(clockid_t clock, const timespec* target) noexcept {
  gClockCalls.push_back({clock, *target});
  if (gClockResult != 0) errno = EPERM;
  return gClockResult;
}

namespace tavrel {
namespace {

TEST(ClockGuard, ProcessHasNoRightToSetTheTime) {
  ASSERT_TRUE(gTimeRightDropped);
  __user_cap_data_struct data[2]{};
  ASSERT_TRUE(ReadCapabilities(data));
  EXPECT_EQ(data[0].effective & (1u << CAP_SYS_TIME), 0u);
  EXPECT_EQ(data[0].permitted & (1u << CAP_SYS_TIME), 0u);
}

// Runs each case in a zone of its own (POSIX zone rules, no zone files
// needed) and gives the recorder a clean slate.
class SetClockRecorded : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* zone = std::getenv("TZ")) savedZone_ = zone;
    gClockCalls.clear();
    gClockResult = 0;
  }
  void TearDown() override {
    if (savedZone_) {
      setenv("TZ", savedZone_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    gClockResult = 0;
  }
  static void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  std::optional<std::string> savedZone_;
};

struct RecordedCase {
  const char* zone;
  DateTime value;
  std::time_t expectedSeconds;
};

TEST_F(SetClockRecorded, SetsTheRealtimeClockToTheLocalTimeOfTheValue) {
  const std::vector<RecordedCase> cases = {
      {"UTC0", MakeDateTime(2020, 12, 7, 11, 4, 5), 1607339045},
      // Beijing: the fetched time plus eight hours is 03:04:05 UTC.
      {"CST-8", AddInterval(HttpDateToDateTime(" Mon, 07 Dec 2020 03:04:05 GMT"), 6, 8),
       1607310245},
      // Summer time is taken from the zone rules, not assumed.
      {"EST5EDT,M3.2.0,M11.1.0", MakeDateTime(2021, 7, 1, 12, 0, 0), 1625155200},
      {"EST5EDT,M3.2.0,M11.1.0", MakeDateTime(2021, 1, 15, 12, 0, 0), 1610730000},
      // The ends of the range the clock accepts.
      {"UTC0", MakeDateTime(1601, 1, 1, 0, 0, 0), -11644473600},
      {"UTC0", MakeDateTime(30827, 12, 31, 23, 59, 59), 910670515199},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + ::testing::PrintToString(SplitDateTime(c.value)));
    UseZone(c.zone);
    gClockCalls.clear();
    EXPECT_TRUE(SetClock(c.value));
    ASSERT_EQ(gClockCalls.size(), 1u);
    EXPECT_EQ(gClockCalls[0].clock, CLOCK_REALTIME);
    EXPECT_EQ(gClockCalls[0].target.tv_sec, c.expectedSeconds);
    EXPECT_EQ(gClockCalls[0].target.tv_nsec, 0);
  }
}

TEST_F(SetClockRecorded, RefusedDatesNeverReachTheClock) {
  UseZone("UTC0");
  EXPECT_FALSE(SetClock(AddInterval(MakeDateTime(0, 0, 0, 0, 0, 0), 6, 8)));
  EXPECT_FALSE(SetClock(AddInterval(HttpDateToDateTime(" 1"), 6, 8)));
  EXPECT_FALSE(SetClock(MakeDateTime(1600, 12, 31, 23, 59, 59)));
  EXPECT_FALSE(SetClock(MakeDateTime(30828, 1, 1)));
  EXPECT_TRUE(gClockCalls.empty());
}

TEST_F(SetClockRecorded, ReportsARefusalOfTheSystem) {
  UseZone("UTC0");
  gClockResult = -1;
  EXPECT_FALSE(SetClock(MakeDateTime(2020, 12, 7, 11, 4, 5)));
  EXPECT_EQ(gClockCalls.size(), 1u);
}

}  // namespace
}  // namespace tavrel
