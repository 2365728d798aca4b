#pragma once

// Cookie texts: items "name=value" separated by "; ".

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/values.h"

namespace tavrel {

// Merges the sent cookies into the received ones: received items first, sent
// items whose name the response does not carry after them, items ending in
// "=deleted" dropped, repeated items kept once. Both arguments lose their
// spaces; sentCookies ends up holding the merged text, which is also returned.
AnsiText MergeCookies(AnsiText& sentCookies, AnsiText& receivedCookies);

// The trimmed text before the first "=", or the whole trimmed item.
AnsiText CookieName(std::string_view item);

// True when some item's name is exactly name (case counting).
bool HasCookieNamed(const std::vector<AnsiText>& items, std::string_view name);

// The text cut at separator with every repeated item left out, the first kept.
AnsiText RemoveDuplicateItems(std::string_view text, std::string_view separator);

// 1-based index of the first element equal to text, or -1.
std::int32_t IndexOfText(const std::vector<AnsiText>& list, std::string_view text);

}  // namespace tavrel
