#pragma once

#include <cstdint>

namespace tavrel {

// Initialises the component library for the calling thread (apartment
// threaded) for the lifetime of the scope; the outcome of the initialisation
// is not examined, and the matching uninitialise runs on every path.
// On Linux there is no component library and both are no-ops apart from a
// per-thread count that tests read.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

}  // namespace tavrel
