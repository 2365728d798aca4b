#include "runtime/frame.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

namespace tavrel {

const std::size_t kBlockAlignment = alignof(std::max_align_t);

namespace {

// The main thread's return point, recorded by RunInstance.
std::jmp_buf returnPoint;
std::atomic<bool> returnPointRecorded{false};
pthread_t mainThread;

std::atomic<bool> reportStarted{false};

// The box as the Linux message box writes it: title line, then the text, in
// UTF-8. Fixed bytes, since nothing may be allocated any more.
constexpr char8_t kMemoryBox[] = u8"error\n内存不足\n";

void WriteBox() {
  const auto* bytes = reinterpret_cast<const char*>(kMemoryBox);
  std::size_t left = sizeof(kMemoryBox) - 1;
  while (left > 0) {
    ssize_t n = ::write(STDOUT_FILENO, bytes, left);
    if (n < 0) return;
    bytes += n;
    left -= static_cast<std::size_t>(n);
  }
}

StartRoutineFunction startRoutine = nullptr;

}  // namespace

void RunInstance(StartRoutineFunction routine) {
  // Boxes go to standard output; a reader that went away must not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  startRoutine = routine;
  mainThread = pthread_self();
  if (setjmp(returnPoint) == 0) {
    returnPointRecorded.store(true);
    startRoutine();
    EndProgram(0);
  }
  returnPointRecorded.store(false);
  // Workers may still be running: end here, without static destructors under their feet.
  std::_Exit(0);
}

void EndProgram(std::int32_t code) {
  if (returnPointRecorded.load() && pthread_equal(pthread_self(), mainThread)) {
    std::longjmp(returnPoint, 1);
  }
  std::_Exit(code);
}

void ReportMemoryExhaustion() {
  if (reportStarted.exchange(true)) {
    // Another thread is reporting; it ends the process.
    for (;;) ::pause();
  }
  WriteBox();
  EndProgram(0);
}

void* AllocateBlock(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) ReportMemoryExhaustion();
  return block;
}

void* ResizeBlock(void* block, std::size_t size) {
  void* resized = std::realloc(block, size == 0 ? 1 : size);
  if (resized == nullptr) ReportMemoryExhaustion();
  return resized;
}

void ReleaseBlock(void* block) { std::free(block); }

}  // namespace tavrel
