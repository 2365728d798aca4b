// The start routine, the loop and the check, driven through fake services: a
// local clock the test moves, a network time source, recorded message boxes,
// threads run in place (or real ones where overlap matters).

#include "app/calibration.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/threads.h"

namespace tavrel {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

DateTime At(std::int32_t hour, std::int32_t minute, std::int32_t second, std::int32_t day = 11) {
  return MakeDateTime(2026, 12, day, hour, minute, second);
}

// The texts exactly as the user must see them.
const char kSuccessText[] =
    "\r\n\r\n校对北京时间成功！\r\n\r\n\r\n本软件为北京时间自动校对工具，暂无自动启动功能，"
    "仅需每次开机后双击打开软件即可，专治各种跳时区、变时间！\r\n\r\n本软件未设计自动更新功能，"
    "如需使用新版本，请在浏览器中输入地址：www.tavrel.com，手动进入官网下载。\r\n\r\n"
    "Tavrel科技 TAVREL\r\n官方交流群：614082379\r\n官方网站：http://www.tavrel.com/";
const char kFailureText[] = "\r\n\r\n校对时间失败：请检查网络后请重试！\r\n\r\n\r\nTavrel科技 www.tavrel.com";
const char kSuccessCaption[] = "Tavrel校时v1.2 - 校时成功";
const char kFailureCaption[] = "Tavrel校时v1.2 - 错误";

struct Box {
  AnsiText text;
  std::uint32_t flags;
  AnsiText title;
  std::thread::id thread;
};

// A machine with a local clock and a network that knows the true time. Sleeps
// move both; setting the clock moves the local one. Ticks run their check in
// place, and the loop ends after a given number of ticks.
class FakeMachine {
 public:
  FakeMachine() {
    services.now = [this] {
      std::lock_guard lock(mutex);
      ++clockReads;
      if (!scriptedReadings.empty()) {
        DateTime reading = scriptedReadings.front();
        scriptedReadings.erase(scriptedReadings.begin());
        return reading;
      }
      return localClock;
    };
    services.setClock = [this](DateTime value) {
      std::lock_guard lock(mutex);
      setClockCalls.push_back(value);
      if (!clockSettable) return false;
      localClock = value;
      return true;
    };
    services.fetchNetworkTime = [this] {
      {
        std::lock_guard lock(mutex);
        ++fetches;
      }
      if (beforeFetchReturns) beforeFetchReturns();
      std::lock_guard lock(mutex);
      return networkClock;
    };
    services.showMessage = [this](const AnsiText& text, std::uint32_t flags, const AnsiText& title) {
      std::lock_guard lock(mutex);
      boxes.push_back({text, flags, title, std::this_thread::get_id()});
      return 0;
    };
    services.startThread = [this](ThreadBody body, void* argument) {
      log.push_back("StartThread");
      body(argument);
      return true;
    };
    services.sleep = [this](std::uint32_t milliseconds) {
      log.push_back("Sleep(" + std::to_string(milliseconds) + ")");
      std::lock_guard lock(mutex);
      localClock += milliseconds / 1000.0 * kSecond;
      networkClock += milliseconds / 1000.0 * kSecond;
    };
    services.pumpMessages = [this] {
      log.push_back("PumpMessages");
      ++ticks;
      if (onTick) onTick(ticks);
      if (ticks >= tickLimit) lastHour.store(kLoopBound);  // the only way out of the loop
    };
    services.openWebPage = [this](const AnsiText& address) { log.push_back("OpenWebPage(" + address + ")"); };
    services.specialFolderPath = [this](std::int32_t kind) {
      log.push_back("SpecialFolderPath(" + std::to_string(kind) + ")");
      return desktop;
    };
    services.runDirectory = [] { return std::optional<AnsiText>("C:\\Program Files\\Tavrel"); };
    services.exeFileName = [] { return std::optional<AnsiText>("tavrel-clock.exe"); };
    services.createShortcut = [this](const AnsiText& fileName, const AnsiText& target,
                                     const AnsiText& description) {
      log.push_back("CreateShortcut(" + fileName + ", " + target + ", " + description + ")");
      return false;  // a failed shortcut must not keep the loop from starting
    };
    services.pathSeparator = "\\";
  }

  void RunTicks(int count) {
    tickLimit = count;
    StartRoutine(services);
  }

  std::vector<AnsiText> Titles() const {
    std::vector<AnsiText> titles;
    for (const Box& box : boxes) titles.push_back(box.title);
    return titles;
  }

  AppServices services;
  std::mutex mutex;
  DateTime localClock = At(12, 0, 0);
  DateTime networkClock = At(12, 0, 0);
  std::vector<DateTime> scriptedReadings;  // readings answered before the clock
  bool clockSettable = true;
  std::function<void()> beforeFetchReturns;
  std::function<void(int tick)> onTick;  // at the end of each tick, before the loop test
  std::optional<AnsiText> desktop = AnsiText("C:\\Users\\u\\Desktop\\");

  int ticks = 0;
  int tickLimit = 1;
  int clockReads = 0;
  int fetches = 0;
  std::vector<DateTime> setClockCalls;
  std::vector<Box> boxes;
  std::vector<std::string> log;
};

class CalibrationTest : public ::testing::Test {
 protected:
  void SetUp() override { lastHour.store(kStartHour); }
  FakeMachine machine;
};

TEST_F(CalibrationTest, StartRoutineOpensPageWritesShortcutThenTicks) {
  lastHour.store(5);  // the start routine itself must start the count at 30
  machine.RunTicks(2);
  const std::vector<std::string> expected = {
      "OpenWebPage(http://www.tavrel.com/jiaoshi/)",
      "SpecialFolderPath(3)",
      "CreateShortcut(C:\\Users\\u\\Desktop\\Tavrel校时v1.2.lnk, "
      "C:\\Program Files\\Tavrel\\tavrel-clock.exe, Tavrel科技)",
      "StartThread", "Sleep(9000)", "PumpMessages",
      "StartThread", "Sleep(9000)", "PumpMessages",
  };
  EXPECT_EQ(machine.log, expected);
  EXPECT_EQ(machine.fetches, 1) << "the first check calibrates, whatever lastHour was before";
}

TEST_F(CalibrationTest, WithoutDesktopFolderTheShortcutGetsTheBareName) {
  machine.desktop = std::nullopt;
  machine.RunTicks(1);
  ASSERT_GE(machine.log.size(), 3u);
  EXPECT_EQ(machine.log[2],
            "CreateShortcut(Tavrel校时v1.2.lnk, C:\\Program Files\\Tavrel\\tavrel-clock.exe, Tavrel科技)");
}

TEST_F(CalibrationTest, TheFirstCheckCalibratesAtAnyHour) {
  for (std::int32_t hour : {0, 1, 12, 23}) {
    SCOPED_TRACE(hour);
    lastHour.store(kStartHour);
    machine.boxes.clear();
    machine.setClockCalls.clear();
    machine.localClock = At(hour, 30, 0);
    machine.networkClock = At(hour == 0 ? 23 : hour - 1, 30, 0, 10);  // the clock is off
    CalibrationCheck(machine.services);
    ASSERT_EQ(machine.setClockCalls.size(), 1u);
    EXPECT_EQ(machine.setClockCalls[0], machine.networkClock) << "the fetched time, unchanged";
    EXPECT_EQ(lastHour.load(), HourOf(machine.networkClock)) << "the hour read after setting";
    ASSERT_EQ(machine.boxes.size(), 1u);
    EXPECT_EQ(machine.boxes[0].text, kSuccessText);
    EXPECT_EQ(machine.boxes[0].flags, 64u);
    EXPECT_EQ(machine.boxes[0].title, kSuccessCaption);
  }
}

TEST_F(CalibrationTest, MidnightCalibratesAgain) {
  machine.localClock = machine.networkClock = At(23, 59, 32);
  machine.RunTicks(5);  // checks at 23:59:32, :41, :50, :59, 00:00:08
  EXPECT_EQ(machine.setClockCalls.size(), 2u);
  EXPECT_EQ(machine.Titles(), (std::vector<AnsiText>{kSuccessCaption, kSuccessCaption}));
  EXPECT_EQ(HourOf(machine.setClockCalls.back()), 0);
}

TEST_F(CalibrationTest, AQuietCheckAt235950Records23) {
  machine.localClock = At(23, 59, 50);
  lastHour.store(23);
  CalibrationCheck(machine.services);
  EXPECT_EQ(lastHour.load(), 23);
  EXPECT_EQ(machine.fetches, 0);
  machine.localClock = At(0, 0, 0, 12);
  CalibrationCheck(machine.services);
  EXPECT_EQ(machine.fetches, 1);
  EXPECT_EQ(machine.Titles(), std::vector<AnsiText>{kSuccessCaption});
}

TEST_F(CalibrationTest, AnHourBoundaryBetweenTheTwoReadingsSkipsThatMidnight) {
  lastHour.store(23);
  machine.scriptedReadings = {At(23, 59, 59), At(0, 0, 0, 12)};
  CalibrationCheck(machine.services);
  EXPECT_EQ(machine.clockReads, 2);
  EXPECT_EQ(lastHour.load(), 0) << "the second reading is recorded, not the first";
  EXPECT_EQ(machine.fetches, 0);

  machine.localClock = At(0, 0, 9, 12);
  CalibrationCheck(machine.services);
  EXPECT_EQ(machine.fetches, 0) << "hour 0 is not below the recorded 0";
  EXPECT_TRUE(machine.boxes.empty());
}

TEST_F(CalibrationTest, ACalibrationBackAcrossMidnightIsFollowedByASecondOne) {
  machine.localClock = At(0, 0, 3, 12);
  machine.networkClock = At(23, 59, 58, 11);
  machine.RunTicks(3);
  ASSERT_EQ(machine.setClockCalls.size(), 2u);
  EXPECT_EQ(machine.setClockCalls[0], At(23, 59, 58, 11));
  EXPECT_EQ(HourOf(machine.setClockCalls[1]), 0);
  EXPECT_EQ(machine.Titles(), (std::vector<AnsiText>{kSuccessCaption, kSuccessCaption}));
}

TEST_F(CalibrationTest, FailuresRepeatEveryTickUntilOneSucceeds) {
  machine.clockSettable = false;
  std::vector<std::int32_t> recorded;
  machine.onTick = [this, &recorded](int tick) {
    recorded.push_back(lastHour.load());
    if (tick == 4) machine.clockSettable = true;
  };
  machine.RunTicks(7);
  EXPECT_EQ(machine.fetches, 5);
  EXPECT_EQ(recorded, (std::vector<std::int32_t>{30, 30, 30, 30, 12, 12, 12}));
  ASSERT_EQ(machine.boxes.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(machine.boxes[i].text, kFailureText);
    EXPECT_EQ(machine.boxes[i].flags, 16u);
    EXPECT_EQ(machine.boxes[i].title, kFailureCaption);
  }
  EXPECT_EQ(machine.boxes[4].text, kSuccessText);
  EXPECT_EQ(machine.boxes[4].title, kSuccessCaption);
}

TEST_F(CalibrationTest, AFailureLeavesLastHourAlone) {
  machine.clockSettable = false;
  for (std::int32_t before : {30, 7}) {
    lastHour.store(before);
    machine.localClock = At(3, 0, 0);
    CalibrationCheck(machine.services);
    EXPECT_EQ(lastHour.load(), before);
  }
  EXPECT_EQ(machine.Titles(), (std::vector<AnsiText>{kFailureCaption, kFailureCaption}));
}

TEST_F(CalibrationTest, ATickWhoseThreadCannotStartRunsNoCheck) {
  int starts = 0;
  machine.services.startThread = [&starts](ThreadBody, void*) {
    ++starts;
    return false;
  };
  machine.RunTicks(3);
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(machine.fetches, 0);
}

// Workers on real threads whose requests are all still running when the next
// ticks come: each one finds its hour below lastHour and shows its own box.
class OverlappingWorkersTest : public CalibrationTest, public ::testing::WithParamInterface<bool> {};

TEST_P(OverlappingWorkersTest, EachWorkerShowsItsOwnMessage) {
  const bool settable = GetParam();
  constexpr int kWorkers = 3;
  machine.clockSettable = settable;
  std::vector<ThreadHandle> workers;
  machine.services.startThread = [&workers](ThreadBody body, void* argument) {
    workers.emplace_back();
    return StartThread(body, argument, &workers.back());
  };
  // The network answers only when every worker is waiting for it.
  std::mutex gateMutex;
  std::condition_variable gate;
  int waiting = 0;
  machine.beforeFetchReturns = [&] {
    std::unique_lock lock(gateMutex);
    if (++waiting == kWorkers) gate.notify_all();
    gate.wait(lock, [&] { return waiting >= kWorkers; });
  };
  // The last tick waits for every worker, so that what they left in lastHour
  // can be read before the loop is ended.
  std::int32_t leftByWorkers = 0;
  machine.onTick = [&](int tick) {
    if (tick < kWorkers) return;
    for (ThreadHandle& worker : workers) EXPECT_TRUE(worker.Wait());
    leftByWorkers = lastHour.load();
  };
  machine.RunTicks(kWorkers);

  ASSERT_EQ(workers.size(), static_cast<std::size_t>(kWorkers));
  ASSERT_EQ(machine.boxes.size(), static_cast<std::size_t>(kWorkers));
  for (const Box& box : machine.boxes) {
    EXPECT_EQ(box.title, settable ? kSuccessCaption : kFailureCaption);
    EXPECT_EQ(box.flags, settable ? 64u : 16u);
  }
  EXPECT_NE(machine.boxes[0].thread, machine.boxes[1].thread);
  EXPECT_NE(machine.boxes[1].thread, machine.boxes[2].thread);
  EXPECT_NE(machine.boxes[0].thread, machine.boxes[2].thread);
  EXPECT_EQ(leftByWorkers, settable ? HourOf(machine.networkClock) : kStartHour);
}

INSTANTIATE_TEST_SUITE_P(SuccessAndFailure, OverlappingWorkersTest, ::testing::Bool());

}  // namespace
}  // namespace tavrel
