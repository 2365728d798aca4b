#pragma once

// Text conversion between the system ANSI code page (CP_ACP) and the
// platform's wide strings, with no flags and no default character.

#include <cstddef>
#include <string>

#include "runtime/codepage.h"
#include "runtime/ole_values_win.h"
#include "runtime/values.h"

namespace tavrel {

std::wstring AnsiToWide(const AnsiText& text);
// Converts up to the first NUL character or `length`, whichever comes first.
AnsiText WideToAnsi(const wchar_t* text, std::size_t length);

// A new wide string holding the text; an empty text gives an empty string.
Bstr AnsiToBstr(const AnsiText& text);
// A null string gives the empty text.
AnsiText BstrToAnsi(BSTR text);

}  // namespace tavrel
