#include "web/header_block.h"

#include "web/text_ops.h"

namespace tavrel {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kNameEnd = ": ";

// Capitalises every dash-separated word of a header name. The split drops an
// empty last word, so a name ending in "-" loses that dash.
AnsiText CapitalizeWords(std::string_view name) {
  if (FindText(name, "-") == -1) return CapitalizeFirst(name);
  AnsiText result;
  bool first = true;
  for (const AnsiText& word : SplitText(name, "-")) {
    if (!first) result += '-';
    first = false;
    result += CapitalizeFirst(word);
  }
  return result;
}

HeaderPair PairOf(std::string_view line) {
  return HeaderPair{HeaderName(line), HeaderValue(line)};
}

}  // namespace

AnsiText NormalizeHeaderBlock(std::string_view block) {
  AnsiText result;
  for (const AnsiText& line : SplitText(block, kLineBreak)) {
    const std::int32_t at = FindText(line, kNameEnd);
    if (at == -1) continue;
    // The value is everything after the first ": ", further ": " included.
    const std::string_view text(line);
    const std::size_t nameLength = static_cast<std::size_t>(at) - 1;
    result += CapitalizeWords(text.substr(0, nameLength));
    result += kNameEnd;
    result += text.substr(nameLength + kNameEnd.size());
    result += kLineBreak;
  }
  return LeftText(result, TextLength(result) - TextLength(kLineBreak));
}

AnsiText CapitalizeFirst(std::string_view word) {
  return UpperAscii(LeftText(word, 1)) + MidText(word, 2, TextLength(word));
}

AnsiText HeaderName(std::string_view line) {
  const std::int32_t at = FindText(line, ":");
  if (at == -1) return AnsiText();
  return TrimSpaces(LeftText(line, at - 1));
}

AnsiText HeaderValue(std::string_view line) {
  const std::int32_t at = FindText(line, ":");
  if (at == -1) return AnsiText();
  return TrimSpaces(RightText(line, TextLength(line) - at));
}

std::vector<HeaderPair> HeaderPairs(std::string_view normalizedBlock) {
  std::vector<HeaderPair> pairs;
  if (FindText(normalizedBlock, kLineBreak) == -1) {
    if (!normalizedBlock.empty()) pairs.push_back(PairOf(normalizedBlock));
    return pairs;
  }
  for (const AnsiText& line : SplitText(normalizedBlock, kLineBreak)) {
    if (!line.empty()) pairs.push_back(PairOf(line));
  }
  return pairs;
}

}  // namespace tavrel
