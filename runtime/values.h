#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {

// Text in the system ANSI code page (GBK on the target systems): a byte of
// 0x80 or above begins a two-byte character. Absent and empty are the same.
using AnsiText = std::string;

// A counted sequence of bytes: request and response bodies, Base64 input.
using ByteBuffer = std::vector<std::uint8_t>;

}  // namespace tavrel
