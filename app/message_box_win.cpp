#include "app/message_box.h"

#include <windows.h>

#include "app/texts.h"

namespace tavrel {

std::int32_t ShowMessage(const AnsiText& text, std::uint32_t flags,
                         const std::optional<AnsiText>& title, std::optional<std::intptr_t> owner) {
  HWND ownerWindow = owner ? reinterpret_cast<HWND>(*owner) : nullptr;
  const char* caption = title ? title->c_str() : kDefaultMessageTitle;
  return MessageBoxA(ownerWindow, text.c_str(), caption, flags) - 1;
}

}  // namespace tavrel
