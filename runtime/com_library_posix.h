#pragma once

// Linux only: the component library does not exist here, so ComScope only
// counts, per thread, how often it initialised and uninitialised. Tests read
// the counts to see that every path pairs the two; the bridge reads them to
// refuse object creation on a thread that has no scope open, as the platform
// does.

namespace tavrel {

struct ComCounts {
  int initialisations = 0;
  int uninitialisations = 0;
};

// The counts of the calling thread since it started.
ComCounts ComCountsOfThisThread();

// True while at least one ComScope is open on the calling thread.
bool ComInitialisedOnThisThread();

}  // namespace tavrel
