// Worker threads: the body runs at once on another thread with its argument,
// whether or not the caller keeps the handle.

#include "app/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tavrel {
namespace {

struct Visit {
  std::atomic<int> count{0};
  std::atomic<bool> onOtherThread{false};
  std::thread::id caller = std::this_thread::get_id();
};

void Body(void* argument) {
  auto* visit = static_cast<Visit*>(argument);
  visit->onOtherThread = std::this_thread::get_id() != visit->caller;
  visit->count.fetch_add(1);
}

TEST(StartThreadTest, RunsTheBodyWithItsArgumentAndCanBeWaitedFor) {
  Visit visit;
  ThreadHandle handle;
  ASSERT_TRUE(StartThread(&Body, &visit, &handle));
  ASSERT_TRUE(static_cast<bool>(handle));
  EXPECT_TRUE(handle.Wait());
  EXPECT_EQ(visit.count.load(), 1);
  EXPECT_TRUE(visit.onOtherThread.load());
}

TEST(StartThreadTest, WithoutAHandleTheThreadRunsOnItsOwn) {
  Visit visit;
  ASSERT_TRUE(StartThread(&Body, &visit));
  for (int i = 0; i < 500 && visit.count.load() == 0; ++i) SleepMilliseconds(10);
  EXPECT_EQ(visit.count.load(), 1);
  EXPECT_TRUE(visit.onOtherThread.load());
}

TEST(StartThreadTest, AnEmptyHandleHasNothingToWaitFor) {
  ThreadHandle handle;
  EXPECT_FALSE(static_cast<bool>(handle));
  EXPECT_FALSE(handle.Wait());
}

}  // namespace
}  // namespace tavrel
