// A small program inside the process frame, with the frame's operator new,
// for the frame tests: argv[1] names what its start routine does. The tests
// look at its standard output (Linux), its boxes (Windows) and its exit status.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/threads.h"
#include "runtime/frame.h"

namespace tavrel::testing {
// Makes the coming exhaustion quick: on Linux a limit of the address space a
// little above what is in use; 32-bit Windows has its own 2 GB.
void LimitAddressSpace();
}  // namespace tavrel::testing

namespace {

std::string mode;
std::atomic<int> ready{0};
constexpr int kThreads = 4;
constexpr std::size_t kBlock = 1 << 20;

// Takes 1 MB blocks until there are none left; the frame ends the process.
[[noreturn]] void Exhaust() {
  std::vector<char*> blocks;
  blocks.reserve(1 << 16);
  for (;;) blocks.push_back(new char[kBlock]);
}

void ExhaustAfterOthersAreReady(void*) {
  ready.fetch_add(1);
  while (ready.load() < kThreads) {
  }
  Exhaust();
}

void EndFromWorker(void*) { tavrel::EndProgram(9); }

[[noreturn]] void WaitForever() {
  for (;;) tavrel::SleepMilliseconds(1000);
}

struct alignas(256) Wide {
  char bytes[300];
};

void Start() {
  if (mode == "return") return;
  if (mode == "end5") {
    std::string alive = "destructors are skipped";  // a live object on the abandoned stack
    tavrel::EndProgram(5);
  }
  if (mode == "worker-end") {
    tavrel::StartThread(&EndFromWorker);
    WaitForever();
  }
  tavrel::testing::LimitAddressSpace();
  if (mode == "exhaust") Exhaust();
  if (mode == "exhaust-nothrow") {
    // Must not come back with null: the report ends the process first.
    volatile std::size_t huge = static_cast<std::size_t>(-1) / 2;
    char* block = new (std::nothrow) char[huge];
    std::printf("nothrow new returned %p\n", static_cast<void*>(block));
    std::fflush(stdout);
    return;
  }
  if (mode == "exhaust-threads") {
    for (int i = 0; i < kThreads; ++i) tavrel::StartThread(&ExhaustAfterOthersAreReady);
    WaitForever();
  }
  if (mode == "exhaust-worker") {
    tavrel::StartThread([](void*) { Exhaust(); });
    WaitForever();
  }
}

}  // namespace

int main(int argc, char** argv) {
  mode = argc > 1 ? argv[1] : "";
  if (mode == "end-before") tavrel::EndProgram(7);  // no return point yet
  if (mode == "aligned") {
    // Every block is aligned for any type plain new may hold, and over-aligned
    // objects get their own alignment; all from the same allocator. Checked
    // before the frame, where a failed check can still give its own status.
    for (std::size_t size = 1; size < 3000; size += 7) {
      char* block = new char[size];
      std::memset(block, 1, size);
      bool aligned = reinterpret_cast<std::uintptr_t>(block) % __STDCPP_DEFAULT_NEW_ALIGNMENT__ == 0;
      delete[] block;
      if (!aligned) return 4;
    }
    for (int i = 0; i < 100; ++i) {
      auto* wide = new Wide;
      auto* wides = new Wide[3];
      bool aligned = reinterpret_cast<std::uintptr_t>(wide) % 256 == 0 &&
                     reinterpret_cast<std::uintptr_t>(wides) % 256 == 0;
      std::memset(wide, 1, sizeof *wide);
      std::memset(wides, 2, 3 * sizeof *wides);
      delete wide;
      delete[] wides;
      if (!aligned) return 3;
    }
    return 0;
  }
  tavrel::RunInstance(&Start);
}
