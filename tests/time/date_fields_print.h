#pragma once

// Readable DateFields in test failure messages.

#include <cstdio>
#include <ostream>

#include "time/date_time.h"

namespace tavrel {

inline void PrintTo(const DateFields& fields, std::ostream* out) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(fields.year),
                static_cast<int>(fields.month), static_cast<int>(fields.day),
                static_cast<int>(fields.hour), static_cast<int>(fields.minute),
                static_cast<int>(fields.second));
  *out << text;
}

}  // namespace tavrel
