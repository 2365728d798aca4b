#include "web/text_ops.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tavrel {
namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

constexpr bool IsLeadByte(unsigned char b) {
  return b >= 0x80;
}

constexpr unsigned char FoldAscii(unsigned char b) {
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

constexpr unsigned char UpperByte(unsigned char b) {
  return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - ('a' - 'A')) : b;
}

// Start of the run of bytes of 0x80 or above that ends right before pos, not
// going below floor. Looks at eight bytes at a time, since texts of Chinese
// characters have long runs.
std::size_t LeadRunStart(const unsigned char* text, std::size_t floor, std::size_t pos) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (pos - floor >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text + pos - 8, sizeof word);
    if ((word & kHighBits) != kHighBits) break;
    pos -= 8;
  }
  while (pos > floor && IsLeadByte(text[pos - 1])) --pos;
  return pos;
}

// Finds the occurrences of one non-empty pattern in one text that begin on a
// character boundary, left to right.
//
// Candidates come from memchr on one byte of the pattern, its anchor (both
// cases of it when case is ignored), and are then compared in full. Should the
// comparisons cost more than a few times the text passed so far, the search
// switches to a Knuth-Morris-Pratt scan, so that no input makes it quadratic.
//
// Whether a candidate lies on a boundary is decided from the last boundary
// known: an ASCII byte always ends a character (alone or as a second byte),
// so the byte after the nearest ASCII byte in front of the candidate is a
// boundary, and from there on only bytes of 0x80 or above follow, pairing up.
// The candidate is a boundary when the length of that run is even. The known
// boundary only moves forward, so every byte is looked at a bounded number of
// times.
class Finder {
 public:
  // knownBoundary must be a character boundary; every Next call passes a from
  // at or after the last result (or knownBoundary at first).
  Finder(std::string_view text, std::string_view sub, bool ignoreCase, std::size_t knownBoundary)
      : text_(reinterpret_cast<const unsigned char*>(text.data())),
        size_(text.size()),
        sub_(reinterpret_cast<const unsigned char*>(sub.data())),
        subSize_(sub.size()),
        ignoreCase_(ignoreCase),
        known_(knownBoundary) {
    // Without case, a byte that is no letter needs one memchr instead of two,
    // and in header texts it is usually the rarer byte (":" of "date:").
    if (ignoreCase_) {
      for (std::size_t i = 0; i < subSize_; ++i) {
        if (FoldAscii(sub_[i]) == UpperByte(sub_[i])) {
          anchor_ = i;
          break;
        }
      }
    }
    anchorLower_ = Key(sub_[anchor_]);
    anchorUpper_ = ignoreCase_ ? UpperByte(anchorLower_) : anchorLower_;
  }

  // 0-based index of the first boundary occurrence at or after from, or kNone.
  std::size_t Next(std::size_t from) {
    for (;;) {
      const std::size_t candidate = useTable_ ? NextByTable(from) : NextByScan(from);
      if (candidate == kNone) return kNone;
      if (OnBoundary(candidate)) return candidate;
      from = candidate + 1;
    }
  }

 private:
  unsigned char Key(unsigned char b) const { return ignoreCase_ ? FoldAscii(b) : b; }

  bool MatchesAt(std::size_t pos) const {
    if (!ignoreCase_) return std::memcmp(text_ + pos, sub_, subSize_) == 0;
    for (std::size_t i = 0; i < subSize_; ++i) {
      if (FoldAscii(text_[pos + i]) != FoldAscii(sub_[i])) return false;
    }
    return true;
  }

  // Next candidate start at or after from whose anchor byte is b, or kNone.
  std::size_t NextByte(unsigned char b, std::size_t from) const {
    if (subSize_ > size_) return kNone;
    const std::size_t limit = size_ - subSize_ + 1;
    if (from >= limit) return kNone;
    const void* hit = std::memchr(text_ + from + anchor_, b, limit - from);
    if (hit == nullptr) return kNone;
    return static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - text_) - anchor_;
  }

  // The same for an anchor letter whose two cases both match. Each case keeps
  // its last answer, which stays right while from has not passed it (from only
  // grows), so neither case is scanned twice.
  std::size_t NextLetter(std::size_t from) {
    if (!lowerKnown_ || (lowerAt_ != kNone && lowerAt_ < from)) {
      lowerAt_ = NextByte(anchorLower_, from);
      lowerKnown_ = true;
    }
    if (!upperKnown_ || (upperAt_ != kNone && upperAt_ < from)) {
      upperAt_ = NextByte(anchorUpper_, from);
      upperKnown_ = true;
    }
    return lowerAt_ < upperAt_ ? lowerAt_ : upperAt_;
  }

  std::size_t NextByScan(std::size_t from) {
    const unsigned char lastKey = Key(sub_[subSize_ - 1]);
    while (from + subSize_ <= size_) {
      const std::size_t candidate =
          anchorUpper_ == anchorLower_ ? NextByte(anchorLower_, from) : NextLetter(from);
      if (candidate == kNone) return kNone;
      if (Key(text_[candidate + subSize_ - 1]) == lastKey) {
        if (MatchesAt(candidate)) return candidate;
        compared_ += subSize_;
        if (compared_ > 4 * (candidate + 1) + 16 * subSize_) {
          StartTable();
          return NextByTable(candidate + 1);
        }
      }
      from = candidate + 1;
    }
    return kNone;
  }

  void StartTable() {
    useTable_ = true;
    failure_.assign(subSize_, 0);
    std::size_t k = 0;
    for (std::size_t i = 1; i < subSize_; ++i) {
      while (k > 0 && Key(sub_[i]) != Key(sub_[k])) k = failure_[k - 1];
      if (Key(sub_[i]) == Key(sub_[k])) ++k;
      failure_[i] = k;
    }
    scanAt_ = 0;
    matched_ = 0;
  }

  std::size_t NextByTable(std::size_t from) {
    if (from >= scanAt_) {
      scanAt_ = from;
      matched_ = 0;
    } else {
      while (scanAt_ - matched_ < from) matched_ = failure_[matched_ - 1];
    }
    while (scanAt_ < size_) {
      const unsigned char b = Key(text_[scanAt_]);
      while (matched_ > 0 && b != Key(sub_[matched_])) matched_ = failure_[matched_ - 1];
      if (b == Key(sub_[matched_])) ++matched_;
      ++scanAt_;
      if (matched_ == subSize_) {
        matched_ = failure_[subSize_ - 1];
        return scanAt_ - subSize_;
      }
    }
    return kNone;
  }

  bool OnBoundary(std::size_t pos) {
    const std::size_t runStart = LeadRunStart(text_, known_, pos);
    const bool boundary = (pos - runStart) % 2 == 0;
    // Not a boundary means pos is a second byte, so the next byte starts a character.
    known_ = boundary ? pos : pos + 1;
    return boundary;
  }

  const unsigned char* text_;
  std::size_t size_;
  const unsigned char* sub_;
  std::size_t subSize_;
  bool ignoreCase_;
  std::size_t known_;
  std::size_t anchor_ = 0;  // index in sub of the byte memchr looks for
  unsigned char anchorLower_ = 0;
  unsigned char anchorUpper_ = 0;
  std::size_t lowerAt_ = kNone;
  std::size_t upperAt_ = kNone;
  bool lowerKnown_ = false;
  bool upperKnown_ = false;
  std::size_t compared_ = 0;
  bool useTable_ = false;
  std::vector<std::size_t> failure_;
  std::size_t scanAt_ = 0;
  std::size_t matched_ = 0;
};

// The first character boundary at or after the 0-based index pos (pos itself
// when it is one, else the byte after it), found the same way as above.
std::size_t BoundaryAtOrAfter(std::string_view text, std::size_t pos) {
  const std::size_t runStart =
      LeadRunStart(reinterpret_cast<const unsigned char*>(text.data()), 0, pos);
  return (pos - runStart) % 2 == 0 ? pos : pos + 1;
}

// Length of the character at pos: two bytes for a lead byte, cut short at the end.
std::size_t CharLength(std::string_view text, std::size_t pos) {
  if (IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) return 2;
  return 1;
}

bool IsSpaceAt(std::string_view text, std::size_t pos, std::size_t length) {
  if (length == 1) return text[pos] == ' ';
  return static_cast<unsigned char>(text[pos]) == 0xA1 &&
         static_cast<unsigned char>(text[pos + 1]) == 0xA1;
}

std::int32_t ToPosition(std::size_t index) {
  return static_cast<std::int32_t>(index + 1);
}

}  // namespace

std::int32_t TextLength(std::string_view text) {
  return static_cast<std::int32_t>(text.size());
}

bool TextEquals(std::string_view a, std::string_view b) {
  return a == b;
}

std::int32_t FindText(std::string_view text, std::string_view sub, std::int32_t start,
                      bool ignoreCase) {
  if (text.empty()) return -1;
  if (sub.empty()) return 1;
  std::size_t from = 0;
  if (start > 1) {
    const std::size_t wanted = static_cast<std::size_t>(start) - 1;
    if (wanted >= text.size()) return -1;
    from = BoundaryAtOrAfter(text, wanted);
  }
  if (from >= text.size()) return -1;
  Finder finder(text, sub, ignoreCase, from);
  const std::size_t found = finder.Next(from);
  return found == kNone ? -1 : ToPosition(found);
}

AnsiText ReplaceText(std::string_view text, std::string_view find, std::string_view replacement,
                     bool caseSensitive) {
  if (text.empty()) return AnsiText();
  if (find.empty()) return AnsiText(text);
  AnsiText result;
  Finder finder(text, find, !caseSensitive, 0);
  std::size_t copiedTo = 0;
  for (std::size_t found = finder.Next(0); found != kNone;
       found = finder.Next(found + find.size())) {
    result.append(text.substr(copiedTo, found - copiedTo));
    result.append(replacement);
    copiedTo = found + find.size();
  }
  result.append(text.substr(copiedTo));
  return result;
}

std::vector<AnsiText> SplitText(std::string_view text, std::string_view separator) {
  std::vector<AnsiText> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  Finder finder(text, separator, false, 0);
  std::size_t pieceStart = 0;
  for (std::size_t found = finder.Next(0); found != kNone;
       found = finder.Next(found + separator.size())) {
    pieces.emplace_back(text.substr(pieceStart, found - pieceStart));
    pieceStart = found + separator.size();
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

AnsiText TrimSpaces(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t length = CharLength(text, pos);
    if (!IsSpaceAt(text, pos, length)) break;
    pos += length;
  }
  const std::size_t begin = pos;
  std::size_t end = begin;
  while (pos < text.size()) {
    const std::size_t length = CharLength(text, pos);
    pos += length;
    if (!IsSpaceAt(text, pos - length, length)) end = pos;
  }
  return AnsiText(text.substr(begin, end - begin));
}

AnsiText RemoveSpaces(std::string_view text) {
  AnsiText result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t length = CharLength(text, pos);
    if (!IsSpaceAt(text, pos, length)) result.append(text.substr(pos, length));
    pos += length;
  }
  return result;
}

AnsiText LeftText(std::string_view text, std::int32_t n) {
  if (n <= 0 || text.empty()) return AnsiText();
  return AnsiText(text.substr(0, static_cast<std::size_t>(n)));
}

AnsiText RightText(std::string_view text, std::int32_t n) {
  if (n <= 0 || text.empty()) return AnsiText();
  const std::size_t count = static_cast<std::size_t>(n);
  if (count >= text.size()) return AnsiText(text);
  return AnsiText(text.substr(text.size() - count));
}

AnsiText MidText(std::string_view text, std::int32_t start, std::int32_t n) {
  if (start <= 0 || n <= 0 || text.empty()) return AnsiText();
  const std::size_t index = static_cast<std::size_t>(start) - 1;
  if (index >= text.size()) return AnsiText();
  return AnsiText(text.substr(index, static_cast<std::size_t>(n)));
}

AnsiText UpperAscii(std::string_view text) {
  AnsiText result(text);
  for (std::size_t pos = 0; pos < result.size(); ++pos) {
    const unsigned char b = static_cast<unsigned char>(result[pos]);
    if (IsLeadByte(b)) {
      ++pos;  // the second byte belongs to the character and keeps its value
    } else {
      result[pos] = static_cast<char>(UpperByte(b));
    }
  }
  return result;
}

AnsiText TextBetween(std::string_view text, std::string_view leftMarker,
                     std::string_view rightMarker, std::int32_t start, bool ignoreCase) {
  // Lets callers write a double quote inside a marker without escaping it.
  constexpr std::string_view kQuoteName = "#引号";
  const AnsiText left = ReplaceText(leftMarker, kQuoteName, "\"", true);
  const AnsiText right = ReplaceText(rightMarker, kQuoteName, "\"", true);
  const std::int32_t leftAt = FindText(text, left, start, ignoreCase);
  if (leftAt == -1) return AnsiText();
  const std::int32_t valueAt = leftAt + TextLength(left);
  const std::int32_t rightAt = FindText(text, right, valueAt, ignoreCase);
  if (rightAt == -1) return AnsiText();
  return MidText(text, valueAt, rightAt - valueAt);
}

AnsiText TextBefore(std::string_view text, std::string_view separator, std::int32_t start,
                    bool ignoreCase) {
  if (start < 1) start = 1;
  const std::int32_t at = FindText(text, separator, start, ignoreCase);
  if (at == -1) return AnsiText();
  return LeftText(text, at - 1);
}

AnsiText JoinTexts(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  AnsiText result;
  result.reserve(size);
  for (std::string_view part : parts) result.append(part);
  return result;
}

}  // namespace tavrel
