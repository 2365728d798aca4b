#include "web/cookies.h"

#include <string>
#include <unordered_set>

#include "web/text_ops.h"

namespace tavrel {
namespace {

constexpr std::string_view kItemSeparator = "; ";
constexpr std::string_view kDeletedEnd = "=deleted";

}  // namespace

AnsiText MergeCookies(AnsiText& sentCookies, AnsiText& receivedCookies) {
  sentCookies = RemoveSpaces(sentCookies);
  receivedCookies = RemoveSpaces(receivedCookies);
  std::vector<AnsiText> merged = SplitText(receivedCookies, ";");

  // The names of the merged items so far: the response's cookies win, and of
  // several sent cookies with one name only the first is carried over.
  std::unordered_set<std::string> names;
  for (const AnsiText& item : merged) names.insert(CookieName(item));
  for (AnsiText& item : SplitText(sentCookies, ";")) {
    if (names.insert(CookieName(item)).second) merged.push_back(std::move(item));
  }

  AnsiText joined;
  for (const AnsiText& item : merged) {
    if (RightText(item, TextLength(kDeletedEnd)) == kDeletedEnd) continue;
    joined += item;
    joined += kItemSeparator;
  }
  joined = LeftText(joined, TextLength(joined) - TextLength(kItemSeparator));
  sentCookies = RemoveDuplicateItems(joined, kItemSeparator);
  return sentCookies;
}

AnsiText CookieName(std::string_view item) {
  const std::int32_t at = FindText(item, "=");
  return TrimSpaces(at == -1 ? item : item.substr(0, static_cast<std::size_t>(at) - 1));
}

bool HasCookieNamed(const std::vector<AnsiText>& items, std::string_view name) {
  for (const AnsiText& item : items) {
    if (TextEquals(CookieName(item), name)) return true;
  }
  return false;
}

AnsiText RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  std::unordered_set<std::string> seen;
  AnsiText result;
  for (AnsiText& item : SplitText(text, separator)) {
    if (!seen.insert(item).second) continue;
    result += item;
    result += separator;
  }
  return LeftText(result, TextLength(result) - TextLength(separator));
}

std::int32_t IndexOfText(const std::vector<AnsiText>& list, std::string_view text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (TextEquals(list[i], text)) return static_cast<std::int32_t>(i + 1);
  }
  return -1;
}

}  // namespace tavrel
