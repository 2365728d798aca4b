#include <objbase.h>

#include "runtime/com_library.h"

namespace tavrel {

// Apartment-threaded initialisation for the calling thread. The uninitialise
// is matched to an initialisation that took effect (S_OK or S_FALSE): one that
// was refused, say because the thread already runs another apartment model,
// must not take away the initialisation somebody else made.
ComScope::ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ComScope::~ComScope() {
  if (initialised_) CoUninitialize();
}

}  // namespace tavrel
