#include "runtime/frame.h"

#include <atomic>
#include <csetjmp>
#include <windows.h>
#include <ole2.h>

namespace tavrel {

const std::size_t kBlockAlignment = MEMORY_ALLOCATION_ALIGNMENT;

namespace {

// Taken at start-up; allocations made before that (static initialisation)
// take it themselves.
std::atomic<HANDLE> processHeap{nullptr};

HANDLE ProcessHeap() {
  HANDLE heap = processHeap.load(std::memory_order_relaxed);
  if (heap == nullptr) {
    heap = GetProcessHeap();
    processHeap.store(heap, std::memory_order_relaxed);
  }
  return heap;
}

// The main thread's return point, recorded by RunInstance.
std::jmp_buf returnPoint;
std::atomic<bool> returnPointRecorded{false};
DWORD mainThreadId = 0;
HRESULT oleResult = E_FAIL;

std::atomic<bool> reportStarted{false};

// Kept from start-up and given back just before the memory exhaustion box, so
// that the box itself finds the memory it needs to come up.
constexpr SIZE_T kReserveSize = 1 << 20;
std::atomic<void*> reserve{nullptr};

StartRoutineFunction startRoutine = nullptr;

}  // namespace

void RunInstance(StartRoutineFunction routine) {
  reserve.store(HeapAlloc(ProcessHeap(), 0, kReserveSize));
  oleResult = OleInitialize(nullptr);
  startRoutine = routine;
  mainThreadId = GetCurrentThreadId();
  if (setjmp(returnPoint) == 0) {
    returnPointRecorded.store(true);
    startRoutine();
    EndProgram(0);
  }
  returnPointRecorded.store(false);

  // The run loop without a main window: the quit message posted here ends it
  // once the messages already queued are handled.
  PostQuitMessage(0);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (SUCCEEDED(oleResult)) OleUninitialize();
  // Workers may still be running: end here, without static destructors under their feet.
  ExitProcess(0);
}

void EndProgram(std::int32_t code) {
  if (returnPointRecorded.load() && GetCurrentThreadId() == mainThreadId) {
    std::longjmp(returnPoint, 1);
  }
  ExitProcess(static_cast<UINT>(code));
}

void ReportMemoryExhaustion() {
  if (reportStarted.exchange(true)) {
    // Another thread is reporting; it ends the process.
    for (;;) Sleep(INFINITE);
  }
  if (void* block = reserve.exchange(nullptr)) HeapFree(ProcessHeap(), 0, block);
  MessageBoxA(nullptr, "内存不足", "error", MB_ICONERROR);
  EndProgram(0);
}

void* AllocateBlock(std::size_t size) {
  void* block = HeapAlloc(ProcessHeap(), 0, size == 0 ? 1 : size);
  if (block == nullptr) ReportMemoryExhaustion();
  return block;
}

void* ResizeBlock(void* block, std::size_t size) {
  if (block == nullptr) return AllocateBlock(size);
  void* resized = HeapReAlloc(ProcessHeap(), 0, block, size == 0 ? 1 : size);
  if (resized == nullptr) ReportMemoryExhaustion();
  return resized;
}

void ReleaseBlock(void* block) {
  if (block != nullptr) HeapFree(ProcessHeap(), 0, block);
}

}  // namespace tavrel
