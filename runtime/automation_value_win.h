#pragma once

// The Windows form of an automation value: one VARIANT, cleared when the
// value goes.

#include <ole2.h>
#include <oleauto.h>

#include "runtime/automation.h"

namespace tavrel {

struct AutomationValue::Impl {
  // A declared value: the 32-bit integer 0.
  Impl() {
    VariantInit(&variant);
    V_VT(&variant) = VT_I4;
    V_I4(&variant) = 0;
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { VariantClear(&variant); }

  // An empty value (VT_EMPTY), as a read starts with.
  static std::unique_ptr<Impl> Empty() {
    auto impl = std::make_unique<Impl>();
    VariantInit(&impl->variant);
    return impl;
  }

  VARIANT variant;
};

}  // namespace tavrel
