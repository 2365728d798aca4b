#include "app/threads.h"

#include <windows.h>

namespace tavrel {

struct ThreadHandle::Native {
  HANDLE handle = nullptr;
  ~Native() {
    if (handle != nullptr) CloseHandle(handle);
  }
};

ThreadHandle::ThreadHandle() = default;
ThreadHandle::ThreadHandle(ThreadHandle&&) noexcept = default;
ThreadHandle& ThreadHandle::operator=(ThreadHandle&&) noexcept = default;
ThreadHandle::~ThreadHandle() = default;

void ThreadHandle::Reset(std::unique_ptr<Native> native) { native_ = std::move(native); }

bool ThreadHandle::Wait() {
  if (!native_) return false;
  return WaitForSingleObject(native_->handle, INFINITE) == WAIT_OBJECT_0;
}

namespace {

struct StartRecord {
  ThreadBody body;
  void* argument;
};

DWORD WINAPI RunThread(LPVOID parameter) {
  std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(parameter));
  record->body(record->argument);
  return 0;
}

}  // namespace

bool StartThread(ThreadBody body, void* argument, ThreadHandle* handle) {
  auto record = std::make_unique<StartRecord>(StartRecord{body, argument});
  HANDLE thread = CreateThread(nullptr, 0, RunThread, record.get(), 0, nullptr);
  if (thread == nullptr) return false;
  record.release();  // the thread owns it now
  auto native = std::make_unique<ThreadHandle::Native>();
  native->handle = thread;
  if (handle != nullptr) handle->Reset(std::move(native));
  return true;  // without a handle variable, native closes the handle here
}

void SleepMilliseconds(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      // A quit message overtook the one looked at: it must stay queued.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (got < 0) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace tavrel
