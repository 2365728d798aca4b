#pragma once

#include <cstdint>

namespace tavrel {

// Initialises the component library for the calling thread (apartment
// threaded) for the lifetime of the scope; the matching uninitialise runs on
// every path out of the scope, for an initialisation that took effect.
// On Linux there is no component library and both are no-ops apart from a
// per-thread count that tests read.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_ = false;  // Windows: whether CoInitialize took effect
};

}  // namespace tavrel
