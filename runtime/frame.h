#pragma once

// The process frame: what runs before the program's start routine and what
// would run after it, the one place all memory comes from, and the report
// that ends the process when memory runs out.

#include <cstddef>
#include <cstdint>

namespace tavrel {

using StartRoutineFunction = void (*)();

// The instance initialisation of the program, on the main thread: takes the
// process heap, initialises OLE for the thread (the outcome is not looked
// at), records the return point and runs startRoutine; should that return,
// EndProgram(0). Once EndProgram has come back to the return point, OLE is
// terminated and the process ends with exit status 0.
[[noreturn]] void RunInstance(StartRoutineFunction startRoutine);

// Ends the program. On the main thread, once RunInstance has recorded its
// return point, abandons whatever was running and continues there (the exit
// status is then 0, whatever code says). Anywhere else the process ends at
// once with code.
[[noreturn]] void EndProgram(std::int32_t code);

// Shows "内存不足" titled "error" with the error icon, then EndProgram(0).
// Runs once for the whole process: threads that run out of memory while the
// report is being shown wait until the process ends.
[[noreturn]] void ReportMemoryExhaustion();

// The alignment every block of AllocateBlock has: 8 on 32-bit Windows (the
// process heap), that of std::max_align_t on Linux (malloc).
extern const std::size_t kBlockAlignment;

// The process's memory: the process heap on Windows, malloc on Linux. A
// block that cannot be given ends the process through the report, so these
// never return null. Releasing null does nothing.
void* AllocateBlock(std::size_t size);
void* ResizeBlock(void* block, std::size_t size);
void ReleaseBlock(void* block);

}  // namespace tavrel
