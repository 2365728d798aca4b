// The process frame from outside: the probe program runs one scenario in a
// child process; its standard output (where the Linux boxes go) and its exit
// status are what the frame promises.

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

namespace {

struct Outcome {
  std::string output;
  int status = -1;  // exit status, or -1 when the probe did not exit normally
};

Outcome RunProbe(const std::string& mode) {
  Outcome outcome;
  int fds[2];
  if (pipe(fds) != 0) return outcome;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string path = TAVREL_FRAME_PROBE;
  char* argv[] = {path.data(), const_cast<char*>(mode.c_str()), nullptr};
  pid_t child = -1;
  int spawned = posix_spawn(&child, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return outcome;
  }
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) outcome.output.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  return outcome;
}

const std::string kMemoryBox = reinterpret_cast<const char*>(u8"error\n内存不足\n");

struct EndCase {
  const char* mode;
  int status;
};

class FrameEndTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(FrameEndTest, EndsWithTheExpectedStatusAndNoBox) {
  Outcome outcome = RunProbe(GetParam().mode);
  EXPECT_EQ(outcome.status, GetParam().status);
  EXPECT_EQ(outcome.output, "");
}

INSTANTIATE_TEST_SUITE_P(
    Frame, FrameEndTest,
    ::testing::Values(EndCase{"return", 0},      // a start routine that returns: EndProgram(0)
                      EndCase{"end5", 0},        // back to the return point: status 0, not 5
                      EndCase{"end-before", 7},  // no return point yet: the code itself
                      EndCase{"worker-end", 9},  // the return point is the main thread's
                      EndCase{"aligned", 0}),    // over-aligned blocks from the frame's allocator
    [](const auto& info) {
      std::string name = info.param.mode;
      for (char& c : name) if (c == '-') c = '_';
      return name;
    });

class MemoryExhaustionTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MemoryExhaustionTest, ShowsOneBoxAndEndsTheProcess) {
  Outcome outcome = RunProbe(GetParam());
  EXPECT_EQ(outcome.output, kMemoryBox);  // exactly one box, nothing returned to the caller
  EXPECT_EQ(outcome.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Frame, MemoryExhaustionTest,
                         ::testing::Values("exhaust", "exhaust-nothrow", "exhaust-worker",
                                           "exhaust-threads"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) if (c == '-') c = '_';
                           return name;
                         });

// Several threads running out together still give one box: repeated, since
// the race is not the same every time.
TEST(MemoryExhaustionRaceTest, ManyRunsOfSeveralThreadsGiveOneBoxEach) {
  for (int run = 0; run < 10; ++run) {
    Outcome outcome = RunProbe("exhaust-threads");
    ASSERT_EQ(outcome.output, kMemoryBox) << "run " << run;
    ASSERT_EQ(outcome.status, 0) << "run " << run;
  }
}

}  // namespace
