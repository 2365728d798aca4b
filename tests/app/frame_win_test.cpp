// The process frame from outside: the probe program runs one scenario in a
// child process; its boxes (read and closed by a watcher) and its exit code
// are what the frame promises.

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <windows.h>

namespace {

constexpr int kStaticTextId = 0xFFFF;  // the text control of a message box

std::string ProbePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.resize(folder.find_last_of('\\') + 1);
  return folder + "frame_probe.exe";
}

struct BoxSeen {
  HWND window;
  std::string text;
};

struct Search {
  DWORD process;
  std::vector<BoxSeen> boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char title[256] = {};
  if (owner != search->process || !IsWindowVisible(window)) return TRUE;
  GetWindowTextA(window, title, sizeof title);
  if (std::string(title) != "error") return TRUE;
  char text[256] = {};
  GetDlgItemTextA(window, kStaticTextId, text, sizeof text);
  search->boxes.push_back({window, text});
  return TRUE;
}

std::vector<BoxSeen> BoxesOf(DWORD process) {
  Search search{process, {}};
  EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
  return search.boxes;
}

struct Outcome {
  std::vector<std::string> boxTexts;  // the boxes open once the first one showed
  DWORD exitCode = 0xFFFFFFFF;
  bool ended = false;
};

// Runs the probe. When it shows a box, waits a moment for any further box,
// writes down all of them and presses OK on each.
Outcome RunProbe(const std::string& mode, bool expectBox) {
  Outcome outcome;
  std::string commandLine = "\"";
  commandLine += ProbePath();
  commandLine += "\" ";
  commandLine += mode;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start " << commandLine;
    return outcome;
  }
  if (expectBox) {
    for (int i = 0; i < 1500 && BoxesOf(process.dwProcessId).empty(); ++i) {
      if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
    }
    Sleep(1500);  // time for a second box, which must not come
    for (const BoxSeen& box : BoxesOf(process.dwProcessId)) {
      outcome.boxTexts.push_back(box.text);
      PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
  outcome.ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  if (!outcome.ended) TerminateProcess(process.hProcess, 99);
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

struct EndCase {
  const char* mode;
  DWORD exitCode;
};

TEST(FrameEndTest, EndsWithTheExpectedCode) {
  const EndCase cases[] = {
      {"return", 0},      // a start routine that returns: EndProgram(0)
      {"end5", 0},        // back to the return point: code 0, not 5
      {"end-before", 7},  // no return point yet: the code itself
      {"worker-end", 9},  // the return point is the main thread's
      {"aligned", 0},     // over-aligned blocks from the process heap
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.mode);
    Outcome outcome = RunProbe(c.mode, false);
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
  }
}

TEST(MemoryExhaustionTest, ShowsOneBoxAndEndsTheProcess) {
  for (const char* mode : {"exhaust", "exhaust-nothrow", "exhaust-worker", "exhaust-threads"}) {
    SCOPED_TRACE(mode);
    Outcome outcome = RunProbe(mode, true);
    EXPECT_EQ(outcome.boxTexts, std::vector<std::string>{"内存不足"});
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exitCode, 0u);
  }
}

}  // namespace
