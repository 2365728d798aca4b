#pragma once

// Worker threads, waiting and the main thread's message queue.

#include <cstdint>
#include <memory>

namespace tavrel {

using ThreadBody = void (*)(void* argument);

// An owned handle to a started thread. Letting it go closes the handle; the
// thread runs on.
class ThreadHandle {
 public:
  struct Native;  // a thread HANDLE on Windows, a std::thread on Linux

  ThreadHandle();
  ThreadHandle(ThreadHandle&&) noexcept;
  ThreadHandle& operator=(ThreadHandle&&) noexcept;
  ~ThreadHandle();

  // Waits until the thread has ended; false when there is no thread.
  bool Wait();
  explicit operator bool() const { return native_ != nullptr; }

  Native* native() { return native_.get(); }
  void Reset(std::unique_ptr<Native> native);

 private:
  std::unique_ptr<Native> native_;
};

// Starts a thread with the platform's default stack size that runs body at
// once with argument. Without a handle variable the handle is closed at once
// and nobody can wait for the thread. Returns whether the thread was created.
bool StartThread(ThreadBody body, void* argument = nullptr, ThreadHandle* handle = nullptr);

// A plain sleep of the calling thread.
void SleepMilliseconds(std::uint32_t milliseconds);

// Dispatches the messages already waiting in the calling thread's queue and
// returns without waiting. It stops in front of a quit message, which stays
// queued. On Linux there is no queue and it does nothing.
void PumpMessages();

}  // namespace tavrel
