#pragma once

// Header blocks: header lines "name: value" separated by "\r\n".

#include <string_view>
#include <vector>

#include "runtime/values.h"

namespace tavrel {

// Keeps the lines holding ": ", capitalises every dash-separated word of each
// name, leaves each value as it was, and joins the lines with "\r\n" (none at
// the end).
AnsiText NormalizeHeaderBlock(std::string_view block);

// The word with its first byte turned from a-z into A-Z; nothing else changes.
AnsiText CapitalizeFirst(std::string_view word);

// The trimmed text before / after the first ":" of a line; empty without ":".
AnsiText HeaderName(std::string_view line);
AnsiText HeaderValue(std::string_view line);

struct HeaderPair {
  AnsiText name;
  AnsiText value;
};

// The name and value of every non-empty line of a normalised block, in order.
std::vector<HeaderPair> HeaderPairs(std::string_view normalizedBlock);

}  // namespace tavrel
