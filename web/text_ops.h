#pragma once

// Text operations on GBK texts, shared by the request, header, cookie and time
// code. Positions are 1-based byte positions and -1 means "not found"; a byte
// of 0x80 or above begins a two-byte character, and the searches only match at
// character boundaries. Only the 26 ASCII letters have case. The spaces are
// byte 0x20 and the full-width space A1 A1.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "runtime/values.h"

namespace tavrel {

std::int32_t TextLength(std::string_view text);

// Same bytes, case counting.
bool TextEquals(std::string_view a, std::string_view b);

// Position of the first occurrence of sub that begins on a character boundary at
// or after position start, or -1. An empty sub is found at 1 in any non-empty
// text; nothing is found in the empty text.
std::int32_t FindText(std::string_view text, std::string_view sub, std::int32_t start = 0,
                      bool ignoreCase = false);

// Every non-overlapping occurrence of find replaced, left to right; the
// replacement is never searched again.
AnsiText ReplaceText(std::string_view text, std::string_view find, std::string_view replacement,
                     bool caseSensitive);

// Pieces between the separators. Leading and adjacent separators give empty
// pieces, but an empty last piece is dropped; the empty text gives no pieces.
std::vector<AnsiText> SplitText(std::string_view text, std::string_view separator);

AnsiText TrimSpaces(std::string_view text);
AnsiText RemoveSpaces(std::string_view text);

// Plain byte counts, blind to characters.
AnsiText LeftText(std::string_view text, std::int32_t n);
AnsiText RightText(std::string_view text, std::int32_t n);
AnsiText MidText(std::string_view text, std::int32_t start, std::int32_t n);

// a-z to A-Z; two-byte characters are left whole, their second byte included.
AnsiText UpperAscii(std::string_view text);

// The text between the first leftMarker at or after start and the next
// rightMarker after it, or the empty text. In both markers "#引号" stands for
// one double quote.
AnsiText TextBetween(std::string_view text, std::string_view leftMarker,
                     std::string_view rightMarker, std::int32_t start = 0, bool ignoreCase = false);

// The text in front of the first separator at or after start, or the empty text.
AnsiText TextBefore(std::string_view text, std::string_view separator, std::int32_t start = 1,
                    bool ignoreCase = false);

// A new text holding the parts in order.
AnsiText JoinTexts(std::initializer_list<std::string_view> parts);

}  // namespace tavrel
