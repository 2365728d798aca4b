#include "app/threads.h"

#include <system_error>
#include <thread>

namespace tavrel {

struct ThreadHandle::Native {
  std::thread thread;
  ~Native() {
    if (thread.joinable()) thread.detach();
  }
};

ThreadHandle::ThreadHandle() = default;
ThreadHandle::ThreadHandle(ThreadHandle&&) noexcept = default;
ThreadHandle& ThreadHandle::operator=(ThreadHandle&&) noexcept = default;
ThreadHandle::~ThreadHandle() = default;

void ThreadHandle::Reset(std::unique_ptr<Native> native) { native_ = std::move(native); }

bool ThreadHandle::Wait() {
  if (!native_) return false;
  if (native_->thread.joinable()) native_->thread.join();
  return true;
}

bool StartThread(ThreadBody body, void* argument, ThreadHandle* handle) {
  auto native = std::make_unique<ThreadHandle::Native>();
  try {
    native->thread = std::thread(body, argument);
  } catch (const std::system_error&) {
    return false;  // the system would not start another thread
  }
  if (handle != nullptr) handle->Reset(std::move(native));
  return true;  // without a handle variable the thread is detached here
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PumpMessages() {}

}  // namespace tavrel
