// No component library on Linux: the scope keeps per-thread counts only.

#include "runtime/com_library.h"
#include "runtime/com_library_posix.h"

namespace tavrel {

namespace {
thread_local ComCounts threadCounts;
}  // namespace

ComScope::ComScope() { ++threadCounts.initialisations; }

ComScope::~ComScope() { ++threadCounts.uninitialisations; }

ComCounts ComCountsOfThisThread() { return threadCounts; }

bool ComInitialisedOnThisThread() {
  return threadCounts.initialisations > threadCounts.uninitialisations;
}

}  // namespace tavrel
