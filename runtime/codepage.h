#pragma once

// Conversions between the system ANSI code page, in which every text of the
// program lives, and UTF-8 (for output that leaves the program, such as test
// messages). Each platform file defines them.

#include <string>
#include <string_view>

#include "runtime/values.h"

namespace tavrel {

std::string AnsiToUtf8(std::string_view ansi);
AnsiText Utf8ToAnsi(std::string_view utf8);

}  // namespace tavrel
