#pragma once

// Standard Base64 (alphabet A-Z a-z 0-9 + /, "=" padding), without line breaks.

#include <cstdint>
#include <span>

#include "runtime/values.h"

namespace tavrel {

AnsiText Base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace tavrel
