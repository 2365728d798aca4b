#include "runtime/codepage_win.h"

#include <windows.h>

#include <climits>
#include <cwchar>
#include <string_view>

namespace tavrel {

namespace {

// The conversion functions count in int; longer texts do not occur in this
// program, and are cut rather than overflowed.
int ClampLength(std::size_t length) {
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

std::wstring MultiToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int length = ClampLength(text.size());
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

std::string WideToMulti(UINT codePage, const wchar_t* text, std::size_t length) {
  if (text == nullptr) return {};
  const wchar_t* end = std::wmemchr(text, L'\0', length);
  const int count = ClampLength(end != nullptr ? static_cast<std::size_t>(end - text) : length);
  if (count == 0) return {};
  const int needed = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string multi(static_cast<std::size_t>(needed), '\0');
  const int written =
      WideCharToMultiByte(codePage, 0, text, count, multi.data(), needed, nullptr, nullptr);
  multi.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return multi;
}

}  // namespace

std::wstring AnsiToWide(const AnsiText& text) {
  return MultiToWide(CP_ACP, text);
}

AnsiText WideToAnsi(const wchar_t* text, std::size_t length) {
  return WideToMulti(CP_ACP, text, length);
}

Bstr AnsiToBstr(const AnsiText& text) {
  const std::wstring wide = AnsiToWide(text);
  return Bstr(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
}

AnsiText BstrToAnsi(BSTR text) {
  if (text == nullptr) return {};
  return WideToAnsi(text, SysStringLen(text));
}

std::string AnsiToUtf8(std::string_view ansi) {
  const std::wstring wide = MultiToWide(CP_ACP, ansi);
  return WideToMulti(CP_UTF8, wide.data(), wide.size());
}

AnsiText Utf8ToAnsi(std::string_view utf8) {
  const std::wstring wide = MultiToWide(CP_UTF8, utf8);
  return WideToAnsi(wide.data(), wide.size());
}

}  // namespace tavrel
