#pragma once

// Plain, character-by-character versions of the searching text operations,
// written for clarity rather than speed. The fast operations must agree with
// them on every input.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::reference {

inline bool IsLead(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

inline char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::int32_t FindText(std::string_view text, std::string_view sub, std::int32_t start = 0,
                             bool ignoreCase = false) {
  if (text.empty()) return -1;
  if (sub.empty()) return 1;
  // pos is 1-based, as the positions the operation reports.
  std::int64_t pos = 1;
  const std::int64_t length = static_cast<std::int64_t>(text.size());
  if (start > 1) {
    while (pos < start && pos <= length) pos += IsLead(text[pos - 1]) ? 2 : 1;
  }
  while (pos <= length) {
    bool match = true;
    for (std::size_t i = 0; i < sub.size(); ++i) {
      const std::int64_t at = pos - 1 + static_cast<std::int64_t>(i);
      if (at >= length) {
        match = false;
        break;
      }
      const char a = text[static_cast<std::size_t>(at)];
      const char b = sub[i];
      if (ignoreCase ? Fold(a) != Fold(b) : a != b) {
        match = false;
        break;
      }
    }
    if (match) return static_cast<std::int32_t>(pos);
    if (IsLead(text[pos - 1])) {
      if (pos == length) return -1;
      pos += 2;
    } else {
      pos += 1;
    }
  }
  return -1;
}

inline std::string ReplaceText(std::string_view text, std::string_view find,
                               std::string_view replacement, bool caseSensitive) {
  if (text.empty()) return std::string();
  if (find.empty()) return std::string(text);
  std::string result;
  std::int32_t next = 1;  // the position right after the last occurrence
  for (;;) {
    const std::int32_t at = FindText(text, find, next, !caseSensitive);
    if (at == -1) break;
    result.append(text.substr(next - 1, at - next));
    result.append(replacement);
    next = at + static_cast<std::int32_t>(find.size());
  }
  if (static_cast<std::size_t>(next - 1) < text.size()) result.append(text.substr(next - 1));
  return result;
}

inline std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) return {std::string(text)};
  std::int32_t next = 1;
  for (;;) {
    const std::int32_t at = FindText(text, separator, next, false);
    if (at == -1) break;
    pieces.emplace_back(text.substr(next - 1, at - next));
    next = at + static_cast<std::int32_t>(separator.size());
  }
  if (static_cast<std::size_t>(next - 1) < text.size()) pieces.emplace_back(text.substr(next - 1));
  return pieces;
}

}  // namespace tavrel::reference
