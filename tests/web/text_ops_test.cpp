#include "web/text_ops.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/web/reference_text_search.h"

namespace tavrel {
namespace {

using Texts = std::vector<AnsiText>;

// Byte strings are written with escapes where the exact bytes matter; "\x81\x41"
// is one two-byte character whose second byte happens to be the letter A.

struct FindCase {
  const char* label;
  std::string text;
  std::string sub;
  std::int32_t start;
  bool ignoreCase;
  std::int32_t expected;
};

template <typename Case>
void PrintCase(const Case& c, std::ostream* out) {
  *out << c.label;
}
void PrintTo(const FindCase& c, std::ostream* out) {
  PrintCase(c, out);
}

class FindTextTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsFirstOccurrenceOnCharacterBoundary) {
  const FindCase& c = GetParam();
  EXPECT_EQ(FindText(c.text, c.sub, c.start, c.ignoreCase), c.expected) << c.label;
  EXPECT_EQ(reference::FindText(c.text, c.sub, c.start, c.ignoreCase), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindTextTest,
    ::testing::Values(
        FindCase{"plain", "hello world", "world", 0, false, 7},
        FindCase{"first of several", "abcabc", "bc", 0, false, 2},
        FindCase{"start skips an earlier match", "abcabc", "abc", 2, false, 4},
        FindCase{"start on the match itself", "abcabc", "abc", 4, false, 4},
        FindCase{"start 0 and 1 and negative begin at the start", "abc", "a", -7, false, 1},
        FindCase{"start at the last byte", "abcabc", "c", 6, false, 6},
        FindCase{"start beyond the end", "abc", "c", 4, false, -1},
        FindCase{"case counts by default", "Date: x", "date:", 0, false, -1},
        FindCase{"ignoreCase folds ASCII letters", "Date: x", "DATE:", 0, true, 1},
        FindCase{"empty sub in a non-empty text", "abc", "", 0, false, 1},
        FindCase{"empty sub whatever the start", "abc", "", 99, true, 1},
        FindCase{"empty sub in the empty text", "", "", 0, false, -1},
        FindCase{"anything in the empty text", "", "a", 0, false, -1},
        FindCase{"sub longer than the text", "ab", "abc", 0, false, -1},
        FindCase{"partial match cut by the end", "xab", "abc", 0, false, -1},
        FindCase{"second byte of a character is no match",
                 "\x81\x41"
                 "A",
                 "A", 0, false, 3},
        FindCase{"the same with ignoreCase",
                 "\x81\x41"
                 "A",
                 "a", 0, true, 3},
        FindCase{"only a second byte matches", "\x81\x41", "A", 0, false, -1},
        FindCase{"second bytes are folded too", "\x81\x61", "\x81\x41", 0, true, 1},
        FindCase{"second bytes count case without ignoreCase", "\x81\x61", "\x81\x41", 0, false,
                 -1},
        FindCase{"bytes above 0x7F have no case", "\xC1\x41", "\xE1\x41", 0, true, -1},
        FindCase{"start inside a character moves to the next one", "\x81\x41\x41", "A", 2, false,
                 3},
        FindCase{"lead bytes as second bytes", "\x81\x81\x81\x41", "\x81\x41", 0, false, 3},
        FindCase{"match straddling a character", "\x81\x81\x81\x41", "\x81\x81\x41", 0, false, -1},
        FindCase{"lead byte as the last byte", "a\x81", "\x81", 0, false, 2},
        FindCase{"ASCII byte resets the pairing",
                 "\x81"
                 "a\x81\x81"
                 "b",
                 "b", 0, false, 5},
        FindCase{"GBK literal", "时间Date", "Date", 0, false, 5},
        FindCase{"CR LF after a line", "Date: 1\r\nX: 2", "\r\n", 0, false, 8}));

TEST(FindTextTest, AgreesWithReferenceOnGeneratedTexts) {
  // A small alphabet makes matches frequent: both cases of two letters, lead
  // bytes (one of them the full-width space byte), and ASCII bytes that also
  // serve as second bytes.
  const std::string alphabet = std::string("aAbB ;-=") + "\x81\xA1\xC1\xFE";
  std::mt19937 random(20261211);
  auto pick = [&](std::size_t limit) {
    return std::uniform_int_distribution<std::size_t>(0, limit)(random);
  };
  int found = 0;
  for (int round = 0; round < 30000; ++round) {
    std::string text;
    const std::size_t length = pick(40);
    for (std::size_t i = 0; i < length; ++i) text += alphabet[pick(alphabet.size() - 1)];
    std::string sub;
    if (!text.empty() && pick(2) != 0) {
      // A piece of the text itself, so that the match exists at byte level.
      const std::size_t at = pick(text.size() - 1);
      sub = text.substr(at, 1 + pick(4));
      if (pick(3) == 0)
        sub[0] = static_cast<char>(reference::Fold(sub[0]) == sub[0] ? std::toupper(sub[0])
                                                                     : std::tolower(sub[0]));
    } else {
      const std::size_t subLength = pick(3);
      for (std::size_t i = 0; i < subLength; ++i) sub += alphabet[pick(alphabet.size() - 1)];
    }
    const std::int32_t start = static_cast<std::int32_t>(pick(length + 3)) - 1;
    const bool ignoreCase = pick(1) == 1;
    const std::int32_t expected = reference::FindText(text, sub, start, ignoreCase);
    ASSERT_EQ(FindText(text, sub, start, ignoreCase), expected)
        << "text " << ::testing::PrintToString(text) << " sub " << ::testing::PrintToString(sub)
        << " start " << start << " ignoreCase " << ignoreCase;
    if (expected > 1) ++found;
  }
  // The generator must really produce matches past the first byte.
  EXPECT_GT(found, 5000);
}

TEST(FindTextTest, AgreesWithReferenceOnLongRepetitiveTexts) {
  // Long texts over two or three bytes with long patterns: many candidates
  // fail late, which drives the search onto its fallback path.
  std::mt19937 random(7);
  const std::vector<std::string> alphabets = {"aA", "a\x81", "aA\x81", "\x81\xA1"};
  for (int round = 0; round < 200; ++round) {
    const std::string& alphabet = alphabets[round % alphabets.size()];
    std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
    std::string text(3000, 'a');
    // Mostly one byte with a few others: long runs of near-matches.
    for (char& c : text) {
      if (random() % 16 == 0) c = alphabet[letter(random)];
    }
    std::string sub(10 + random() % 60, 'a');
    sub.back() = alphabet[letter(random)];
    if (round % 3 == 0) sub = text.substr(random() % 2900, 40);
    const std::int32_t start = static_cast<std::int32_t>(random() % 1500);
    for (const bool ignoreCase : {false, true}) {
      ASSERT_EQ(FindText(text, sub, start, ignoreCase),
                reference::FindText(text, sub, start, ignoreCase))
          << "round " << round << " ignoreCase " << ignoreCase;
    }
  }
}

TEST(FindTextTest, FindsAcrossLargeTexts) {
  std::string text(1 << 20, 'a');
  const std::string sub = std::string(300, 'a') + "b";
  EXPECT_EQ(FindText(text, sub), -1);
  text.replace(text.size() - sub.size(), sub.size(), sub);
  EXPECT_EQ(FindText(text, sub), static_cast<std::int32_t>(text.size() - sub.size() + 1));
  EXPECT_EQ(FindText(text, std::string(300, 'A') + "B", 0, true),
            static_cast<std::int32_t>(text.size() - sub.size() + 1));
  // An odd number of lead bytes: the first "b" is a second byte, the one after it is not.
  std::string wide((1 << 20) + 1, '\x81');
  wide += "bb";
  EXPECT_EQ(FindText(wide, "b"), static_cast<std::int32_t>(wide.size()));
  EXPECT_EQ(FindText(wide, "B", 3, true), static_cast<std::int32_t>(wide.size()));
}

struct ReplaceCase {
  const char* label;
  std::string text;
  std::string find;
  std::string replacement;
  bool caseSensitive;
  std::string expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* out) {
  PrintCase(c, out);
}

class ReplaceTextTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceTextTest, ReplacesEveryOccurrence) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(ReplaceText(c.text, c.find, c.replacement, c.caseSensitive), c.expected) << c.label;
  EXPECT_EQ(reference::ReplaceText(c.text, c.find, c.replacement, c.caseSensitive), c.expected)
      << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplaceTextTest,
    ::testing::Values(ReplaceCase{"every occurrence", "aXbXc", "X", "--", true, "a--b--c"},
                      ReplaceCase{"empty replacement deletes", "a b c", " ", "", true, "abc"},
                      ReplaceCase{"case folded", "ABab", "ab", "x", false, "xx"},
                      ReplaceCase{"case counted", "ABab", "ab", "x", true, "ABx"},
                      ReplaceCase{"no overlap", "aaa", "aa", "b", true, "ba"},
                      ReplaceCase{"replacement not searched again", "ab", "a", "aa", true, "aab"},
                      ReplaceCase{"no occurrence", "abc", "x", "y", true, "abc"},
                      ReplaceCase{"empty text", "", "a", "b", true, ""},
                      ReplaceCase{"empty find copies", "abc", "", "x", true, "abc"},
                      ReplaceCase{"second byte untouched",
                                  "\x81\x41"
                                  "A",
                                  "A", "b", true,
                                  "\x81\x41"
                                  "b"},
                      ReplaceCase{"search goes on at the next character", "\x81\x81\x81", "\x81",
                                  "x", true, "x\x81x"},
                      ReplaceCase{"quote marker", "id=#引号", "#引号", "\"", true, "id=\""}));

TEST(ReplaceTextTest, AgreesWithReferenceOnGeneratedTexts) {
  const std::string alphabet = std::string("aAb;") + "\x81\xA1";
  std::mt19937 random(99);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    std::string find;
    for (std::size_t i = random() % 30; i > 0; --i) text += alphabet[random() % alphabet.size()];
    for (std::size_t i = random() % 3; i > 0; --i) find += alphabet[random() % alphabet.size()];
    const std::string replacement = round % 2 ? "<>" : "";
    const bool caseSensitive = random() % 2 == 0;
    ASSERT_EQ(ReplaceText(text, find, replacement, caseSensitive),
              reference::ReplaceText(text, find, replacement, caseSensitive))
        << ::testing::PrintToString(text) << " " << ::testing::PrintToString(find);
    ASSERT_EQ(SplitText(text, find), reference::SplitText(text, find))
        << ::testing::PrintToString(text) << " " << ::testing::PrintToString(find);
  }
}

TEST(ReplaceTextTest, HandlesLargeTexts) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "ab";
  const AnsiText replaced = ReplaceText(text, "B", "", false);
  EXPECT_EQ(replaced, std::string(200000, 'a'));
  EXPECT_EQ(SplitText(text, "b").size(), 200000u);
}

struct SplitCase {
  const char* label;
  std::string text;
  std::string separator;
  Texts expected;
};

void PrintTo(const SplitCase& c, std::ostream* out) {
  PrintCase(c, out);
}

class SplitTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, CutsAtEverySeparator) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitText(c.text, c.separator), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitTextTest,
    ::testing::Values(SplitCase{"two pieces", "a;b", ";", {"a", "b"}},
                      SplitCase{"adjacent separators", "a;;b", ";", {"a", "", "b"}},
                      SplitCase{"leading separator", ";a", ";", {"", "a"}},
                      SplitCase{"no empty last piece", "a;", ";", {"a"}},
                      SplitCase{"separator only", ";", ";", {""}},
                      SplitCase{"two separators only", ";;", ";", {"", ""}},
                      SplitCase{"empty text", "", ";", {}},
                      SplitCase{"empty separator", "a;b", "", {"a;b"}},
                      SplitCase{"no separator", "abc", ";", {"abc"}},
                      SplitCase{"two-byte separator", "x\r\ny\r\n", "\r\n", {"x", "y"}},
                      SplitCase{"case counts", "aXbxc", "x", {"aXb", "c"}},
                      SplitCase{"second byte is no separator", "\x81;a;b", ";", {"\x81;a", "b"}}));

struct TrimCase {
  const char* label;
  std::string text;
  std::string trimmed;
  std::string removed;
};

void PrintTo(const TrimCase& c, std::ostream* out) {
  PrintCase(c, out);
}

class SpacesTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(SpacesTest, TrimsAndRemovesAsciiAndFullWidthSpaces) {
  const TrimCase& c = GetParam();
  EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << c.label;
  EXPECT_EQ(RemoveSpaces(c.text), c.removed) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpacesTest,
    ::testing::Values(TrimCase{"ASCII spaces", "  a b  ", "a b", "ab"},
                      TrimCase{"full-width spaces",
                               "\xA1\xA1"
                               "a\xA1\xA1"
                               "b\xA1\xA1",
                               "a\xA1\xA1"
                               "b",
                               "ab"},
                      TrimCase{"literal full-width space", "　时间　", "时间", "时间"},
                      TrimCase{"tab and CR LF are no spaces", " \ta\r\n ", "\ta\r\n", "\ta\r\n"},
                      TrimCase{"spaces only", " \xA1\xA1 ", "", ""}, TrimCase{"empty", "", "", ""},
                      TrimCase{"space as a second byte stays", "a\x81 ", "a\x81 ", "a\x81 "},
                      TrimCase{"A1 A1 across characters is no space",
                               "\x81\xA1\xA1"
                               "a",
                               "\x81\xA1\xA1"
                               "a",
                               "\x81\xA1\xA1"
                               "a"},
                      TrimCase{"full-width space after a second byte A1", "\x81\xA1\xA1\xA1",
                               "\x81\xA1", "\x81\xA1"},
                      TrimCase{"full-width space after a character", "\x81\x41\xA1\xA1", "\x81\x41",
                               "\x81\x41"},
                      TrimCase{"lone lead byte at the end", " a\xA1", "a\xA1", "a\xA1"}));

struct CutCase {
  std::string text;
  std::int32_t start;
  std::int32_t n;
  std::string left;
  std::string right;
  std::string mid;
};

TEST(CutTextTest, CountsPlainBytes) {
  const std::vector<CutCase> cases = {
      {"abcdef", 2, 3, "abc", "def", "bcd"},
      {"abcdef", 1, 6, "abcdef", "abcdef", "abcdef"},
      {"abcdef", 5, 9, "abcdef", "abcdef", "ef"},
      {"abcdef", 6, 1, "a", "f", "f"},
      {"abcdef", 7, 1, "a", "f", ""},
      {"abcdef", 0, 2, "ab", "ef", ""},
      {"abcdef", -1, 2, "ab", "ef", ""},
      {"abcdef", 2, 0, "", "", ""},
      {"abcdef", 2, -3, "", "", ""},
      {"", 1, 1, "", "", ""},
      // Bytes, not characters: a two-byte character may be cut in half.
      {"\x81\x41\x82\x42", 2, 1, "\x81", "\x42", "\x41"},
  };
  for (const CutCase& c : cases) {
    EXPECT_EQ(LeftText(c.text, c.n), c.left) << c.text << " " << c.n;
    EXPECT_EQ(RightText(c.text, c.n), c.right) << c.text << " " << c.n;
    EXPECT_EQ(MidText(c.text, c.start, c.n), c.mid) << c.text << " " << c.start << " " << c.n;
  }
}

TEST(UpperAsciiTest, MapsOnlyAsciiLettersOutsideTwoByteCharacters) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc-Xyz 09", "ABC-XYZ 09"},
      {"\x81"
       "ab",
       "\x81"
       "aB"},
      {"\xE1\xE2", "\xE1\xE2"},
      {"时间a", "时间A"},
      {"a\x81", "A\x81"},
      {"", ""},
  };
  for (const auto& [text, upper] : cases) {
    EXPECT_EQ(UpperAscii(text), upper) << ::testing::PrintToString(text);
  }
}

TEST(TextLengthTest, CountsBytesAndComparesExactly) {
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("时间"), 4);
  EXPECT_EQ(TextLength(std::string("a\0b", 3)), 3);
  EXPECT_TRUE(TextEquals("", ""));
  EXPECT_TRUE(TextEquals("Ab", "Ab"));
  EXPECT_FALSE(TextEquals("Ab", "ab"));
  EXPECT_FALSE(TextEquals("a", "a "));
  EXPECT_FALSE(TextEquals(std::string("a\0b", 3), "a"));
}

TEST(JoinTextsTest, JoinsPartsInOrder) {
  EXPECT_EQ(JoinTexts({"Tavrel", "", "校时", ".lnk"}), "Tavrel校时.lnk");
  EXPECT_EQ(JoinTexts({}), "");
  EXPECT_EQ(JoinTexts({"", ""}), "");
}

constexpr const char* kHeaders =
    "Server: x\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\nConnection: close";

struct BetweenCase {
  const char* label;
  std::string text;
  std::string left;
  std::string right;
  std::int32_t start;
  bool ignoreCase;
  std::string expected;
};

void PrintTo(const BetweenCase& c, std::ostream* out) {
  PrintCase(c, out);
}

class TextBetweenTest : public ::testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, TakesTextBetweenMarkers) {
  const BetweenCase& c = GetParam();
  EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextBetweenTest,
    ::testing::Values(
        BetweenCase{"date value keeps its space", kHeaders, "Date:", "\r\n", 0, false,
                    " Tue, 15 Nov 1994 08:12:31 GMT"},
        BetweenCase{"lower-case name not found", "Server: x\r\ndate: 1\r\nA: b", "Date:", "\r\n", 0,
                    false, ""},
        BetweenCase{"lower-case name with ignoreCase", "Server: x\r\ndate: 1\r\nA: b",
                    "Date:", "\r\n", 0, true, " 1"},
        BetweenCase{"marker anywhere in a line", "X-Last-Date: 1\r\nDate: 2\r\n", "Date:", "\r\n",
                    0, false, " 1"},
        BetweenCase{"last line without CR LF", "Server: x\r\nDate: 2", "Date:", "\r\n", 0, false,
                    ""},
        BetweenCase{"right marker only in front", "b]a[", "[", "]", 0, false, ""},
        BetweenCase{"left marker missing", "a]b", "[", "]", 0, false, ""},
        BetweenCase{"right marker right after the left one", "a[]b", "[", "]", 0, false, ""},
        BetweenCase{"empty left marker", "abc]d]", "", "]", 0, false, "abc"},
        BetweenCase{"empty right marker", "a[bc", "[", "", 0, false, ""},
        BetweenCase{"empty text", "", "[", "]", 0, false, ""},
        BetweenCase{"quote markers", "id=\"42\"", "id=#引号", "#引号", 0, false, "42"},
        BetweenCase{"start 0", "[a][b]", "[", "]", 0, false, "a"},
        BetweenCase{"start 1", "[a][b]", "[", "]", 1, false, "a"},
        BetweenCase{"start past the first marker", "[a][b]", "[", "]", 2, false, "b"},
        BetweenCase{"start beyond the end", "[a][b]", "[", "]", 7, false, ""},
        BetweenCase{"markers do not overlap", "<a>", "<a", "a>", 0, false, ""},
        BetweenCase{"cookie pair", "Set-Cookie: sid=1; path=/", "Set-Cookie:", ";", 0, false,
                    " sid=1"},
        BetweenCase{"GBK text between", "[时间]", "[", "]", 0, false, "时间"},
        BetweenCase{"marker on a second byte is skipped", "\x81[a[b]", "[", "]", 0, false, "b"}));

struct BeforeCase {
  const char* label;
  std::string text;
  std::string separator;
  std::int32_t start;
  bool ignoreCase;
  std::string expected;
};

void PrintTo(const BeforeCase& c, std::ostream* out) {
  PrintCase(c, out);
}

class TextBeforeTest : public ::testing::TestWithParam<BeforeCase> {};

TEST_P(TextBeforeTest, TakesTextInFrontOfSeparator) {
  const BeforeCase& c = GetParam();
  EXPECT_EQ(TextBefore(c.text, c.separator, c.start, c.ignoreCase), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextBeforeTest,
    ::testing::Values(BeforeCase{"header name", "Set-Cookie: a=b", ": ", 1, false, "Set-Cookie"},
                      BeforeCase{"no separator", "Set-Cookie:a=b", ": ", 1, false, ""},
                      BeforeCase{"separator first", ": a", ": ", 1, false, ""},
                      BeforeCase{"not trimmed", " a : b", ": ", 1, false, " a "},
                      BeforeCase{"start below 1", "a: b: c", ": ", -3, false, "a"},
                      BeforeCase{"start past the first", "a: b: c", ": ", 3, false, "a: b"},
                      BeforeCase{"ignoreCase", "abXcd", "x", 1, true, "ab"},
                      BeforeCase{"case counts", "abXcd", "x", 1, false, ""}));

}  // namespace
}  // namespace tavrel
