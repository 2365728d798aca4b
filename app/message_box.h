#pragma once

// A modal message box. Windows: MessageBoxA. Linux: the box is written to
// standard output in one piece (title line, then the text in UTF-8) and
// answers as if OK had been pressed.

#include <cstdint>
#include <optional>

#include "runtime/values.h"

namespace tavrel {

// Message box style bits the program uses.
inline constexpr std::uint32_t kMB_ICONERROR = 16;
inline constexpr std::uint32_t kMB_ICONINFORMATION = 64;

// Shows the box and returns when it is closed: the number of the button that
// closed it minus 1 (0 for OK). flags are the platform's style bits; an absent
// title shows as "信息"; the owner window is used only when given.
std::int32_t ShowMessage(const AnsiText& text, std::uint32_t flags = 0,
                         const std::optional<AnsiText>& title = std::nullopt,
                         std::optional<std::intptr_t> owner = std::nullopt);

}  // namespace tavrel
